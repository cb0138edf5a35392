#include "platform/AtomicFile.h"

#include "platform/Format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace platform {
namespace {

[[noreturn]] void Fail(const std::string& fileName, int error)
{
    throw std::runtime_error(Format("Não foi possível gravar o arquivo %s: %s.", fileName, std::strerror(error)));
}

} // namespace

void WriteFileAtomically(const std::string& fileName, std::string_view bytes, std::optional<unsigned> mode)
{
    if (!mode) {
        struct stat previous
        { };
        mode = stat(fileName.c_str(), &previous) == 0 ? (previous.st_mode & 07777) : 0644;
    }
    std::string tempName = fileName + ".XXXXXX";
    const int fd = mkstemp(tempName.data());
    if (fd < 0) {
        Fail(fileName, errno);
    }
    int error = fchmod(fd, static_cast<mode_t>(*mode)) == 0 ? 0 : errno;
    size_t written = 0;
    while (error == 0 && written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        written += static_cast<size_t>(n);
    }
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    if (close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && rename(tempName.c_str(), fileName.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(tempName.c_str());
        Fail(fileName, error);
    }
}

} // namespace platform
