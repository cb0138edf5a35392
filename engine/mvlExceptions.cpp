#include "engine/mvlExceptions.h"

#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/FormatSettings.h"
#include "platform/ProgramFolder.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

namespace {

std::mutex s_logMutex;
std::string s_errorLogFolder;

void AppendErrorLogLine(const std::string& line) noexcept
{
    try {
        std::string folder = EmvlNFSeException::ErrorLogFolder();
        if (!platform::ForceDirectories(folder)) {
            return;
        }
        const std::string fileName = platform::JoinPath(folder, "nfse_exception.log");
        const std::string text = line + "\r\n";
        std::lock_guard lock(s_logMutex);
        const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            return;
        }
        // One write call, so lines of two threads never interleave.
        [[maybe_unused]] const ssize_t written = ::write(fd, text.data(), text.size());
        ::close(fd);
    } catch (...) {
        // The error being built matters more than its log line.
    }
}

} // namespace

EmvlException::EmvlException(std::string message, const char* className, bool writeErrorLog)
    : m_message(std::move(message))
{
    if (writeErrorLog && !m_message.empty()) {
        try {
            AppendErrorLogLine(EmvlNFSeException::ErrorLogLine(className, m_message));
        } catch (...) {
        }
    }
}

void EmvlNFSeException::SetErrorLogFolder(std::string_view folder)
{
    std::lock_guard lock(s_logMutex);
    s_errorLogFolder = std::string(folder);
}

std::string EmvlNFSeException::ErrorLogFolder()
{
    std::string folder;
    {
        std::lock_guard lock(s_logMutex);
        folder = s_errorLogFolder;
    }
    if (folder.empty()) {
        return platform::ProgramFolder();
    }
    return platform::IncludeTrailingSeparator(platform::NativePath(folder));
}

std::string EmvlNFSeException::ErrorLogLine(std::string_view className, std::string_view message)
{
    const std::string when = platform::FormatDateTime("dd/mm/yyyy hh:nn:ss:zzz", platform::Clock::Now(),
                                                      platform::BrazilianFormatSettings());
    const long threadId = static_cast<long>(::syscall(SYS_gettid));
    return platform::Format("[%s] %d - %s : %s", when, threadId, className, message);
}

EmvlNFSeUnknownException UnknownError(const std::exception& error)
{
    return EmvlNFSeUnknownException(platform::Format("Ocorreu um erro inesperado: %s", error.what()));
}
