// A shared library that carries no version note, as a copy from an unknown build would.
extern "C" __attribute__((visibility("default"))) int notavia_test_no_version()
{
    return 0;
}
