#include "framework/data/FirebirdHandles.h"

#include "framework/data/DatabaseError.h"
#include "platform/Cp1252.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

// Under LeakSanitizer: the Firebird client and its engine keep some allocations (character set
// converters, the engine's ICU tables) for the life of the process; they are not ours to free.
// Every program that links the layer gets these suppressions; other builds never call this.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libfbclient.so\n"
           "leak:libEngine12.so\n"
           "leak:libfbtrace.so\n"
           "leak:libicuuc.so\n"
           "leak:libicui18n.so\n";
}

namespace framework::fb {
namespace {

// The embedded engine keeps its lock files in FIREBIRD_LOCK (default /tmp/firebird, made by root).
// Every process of one user must meet in the same folder, so it is fixed per user, and it must be
// the user's own: a folder planted by somebody else is refused.
void PrepareLockFolder()
{
    if (geteuid() == 0 || std::getenv("FIREBIRD_LOCK")) {
        return;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base = runtime && *runtime ? runtime : "/tmp";
    struct stat info
    { };
    if (stat(base.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        base = "/tmp";
    }
    const std::string folder = base + "/notavia-firebird-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        throw DatabaseError("Não foi possível criar a pasta de bloqueio do Firebird " + folder + ": " +
                            std::strerror(errno));
    }
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid() ||
        (info.st_mode & 0077) != 0) {
        throw DatabaseError("A pasta de bloqueio do Firebird " + folder + " não é uma pasta privada deste usuário.");
    }
    setenv("FIREBIRD_LOCK", folder.c_str(), 0);
}

// The embedded engine runs threads of its own (a backup's service thread outlives the call that
// started it). The client's plugins stop the engine from their own exit handlers and unload it
// while those threads still run, which crashes the process now and then. Our handler, registered
// after the first attachment has loaded the plugins, runs before theirs and stops the engine in
// order, waiting for its threads.
void ShutdownEngine()
{
    Firebird::IMaster* master = Firebird::fb_get_master_interface();
    Firebird::IStatus* raw = master->getStatus();
    Firebird::CheckStatusWrapper status(raw);
    Firebird::IProvider* dispatcher = master->getDispatcher();
    dispatcher->shutdown(&status, 10000, fb_shutrsn_app_stopped);
    dispatcher->release();
    raw->dispose();
}

} // namespace

Firebird::IMaster* Master()
{
    static Firebird::IMaster* master = [] {
        PrepareLockFolder();
        return Firebird::fb_get_master_interface();
    }();
    return master;
}

void Attached()
{
    static const bool registered = [] { return std::atexit(ShutdownEngine) == 0; }();
    (void)registered;
}

Firebird::IUtil* Util()
{
    return Master()->getUtilInterface();
}

Status::Status()
    : BaseStatusWrapper(Master()->getStatus())
{ }

Status::~Status()
{
    status->dispose();
}

void Status::checkException(Status* status)
{
    if (status->dirty && (status->getState() & Firebird::IStatus::STATE_ERRORS)) {
        ThrowStatus(status);
    }
}

void ThrowStatus(const Firebird::IStatus* status)
{
    const intptr_t* vector = status->getErrors();
    const int32_t sqlCode = isc_sqlcode(vector);
    const int64_t code = vector[0] == isc_arg_gds ? vector[1] : 0;
    std::string text(2048, '\0');
    // formatStatus needs a non-const status; a clone keeps the caller's untouched.
    Firebird::IStatus* copy = status->clone();
    const unsigned length = Util()->formatStatus(text.data(), static_cast<unsigned>(text.size()), copy);
    copy->dispose();
    text.resize(length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    std::string message;
    for (char c : text) {
        // The status lines end in a bare LF; the program's messages use CR LF.
        if (c == '\n') {
            message += "\r\n";
        } else {
            message += c;
        }
    }
    // The server quotes statements and values in the database's own bytes (cp1252).
    throw DatabaseError(sqlCode, code, platform::Cp1252ToUtf8Lossy(message));
}

void ReleaseDeleter::operator()(Firebird::IReferenceCounted* handle) const noexcept
{
    handle->release();
}

void DisposeDeleter::operator()(Firebird::IDisposable* handle) const noexcept
{
    handle->dispose();
}

namespace {

// Ends a handle with its closing call; when that fails (the connection is gone, say), the
// client's reference is dropped instead. Either way the handle is gone afterwards.
template <typename Handle, typename Close>
void EndOrRelease(Handle* handle, Close close) noexcept
{
    Firebird::IStatus* raw = Master()->getStatus();
    Firebird::CheckStatusWrapper status(raw);
    close(handle, &status);
    if (status.getState() & Firebird::IStatus::STATE_ERRORS) {
        handle->release();
    }
    raw->dispose();
}

} // namespace

void AttachmentDeleter::operator()(Firebird::IAttachment* handle) const noexcept
{
    EndOrRelease(handle, [](Firebird::IAttachment* h, Firebird::CheckStatusWrapper* s) { h->detach(s); });
}

void TransactionDeleter::operator()(Firebird::ITransaction* handle) const noexcept
{
    EndOrRelease(handle, [](Firebird::ITransaction* h, Firebird::CheckStatusWrapper* s) { h->rollback(s); });
}

void StatementDeleter::operator()(Firebird::IStatement* handle) const noexcept
{
    EndOrRelease(handle, [](Firebird::IStatement* h, Firebird::CheckStatusWrapper* s) { h->free(s); });
}

void ResultSetDeleter::operator()(Firebird::IResultSet* handle) const noexcept
{
    EndOrRelease(handle, [](Firebird::IResultSet* h, Firebird::CheckStatusWrapper* s) { h->close(s); });
}

void BlobDeleter::operator()(Firebird::IBlob* handle) const noexcept
{
    EndOrRelease(handle, [](Firebird::IBlob* h, Firebird::CheckStatusWrapper* s) { h->cancel(s); });
}

void ServiceDeleter::operator()(Firebird::IService* handle) const noexcept
{
    EndOrRelease(handle, [](Firebird::IService* h, Firebird::CheckStatusWrapper* s) { h->detach(s); });
}

ProviderPtr Dispatcher()
{
    return ProviderPtr(Master()->getDispatcher());
}

XpbBuilderPtr NewXpb(unsigned kind)
{
    Status status;
    return XpbBuilderPtr(Util()->getXpbBuilder(&status, kind, nullptr, 0));
}

} // namespace framework::fb
