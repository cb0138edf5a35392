#include "framework/data/BackupService.h"

#include "framework/data/DatabaseError.h"
#include "framework/data/FirebirdHandles.h"
#include "framework/data/SqlTrace.h"
#include "platform/Cp1252.h"
#include "platform/Format.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace framework {
namespace {

size_t ThreadCount()
{
    std::error_code error;
    std::filesystem::directory_iterator tasks("/proc/self/task", error);
    return error ? 0 : static_cast<size_t>(std::distance(tasks, std::filesystem::directory_iterator()));
}

// The embedded engine's service thread still winds down for a moment after the service is
// detached, also when it failed; a process that ends meanwhile crashes while the client unloads
// the engine under that thread. Declared before the service handle, this waits (a few
// milliseconds, five seconds at most) after the handle is gone until the thread has left.
class ServiceThreadsSettle
{
public:
    ServiceThreadsSettle() = default;
    // Counted once the service manager is attached: the client keeps the threads that attaching
    // started.
    void Arm() { m_before = ThreadCount(); }
    ~ServiceThreadsSettle()
    {
        for (int tries = 0; m_before > 0 && tries < 500 && ThreadCount() > m_before; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ServiceThreadsSettle(const ServiceThreadsSettle&) = delete;
    ServiceThreadsSettle& operator=(const ServiceThreadsSettle&) = delete;

private:
    size_t m_before = 0;
};

uint16_t ReadLength(const unsigned char* at)
{
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

} // namespace

std::string BackupService::DefaultFileName(const std::string& databaseName, const platform::DateTime& now)
{
    const size_t colon = databaseName.find(':');
    const std::string path = colon != std::string::npos && colon > 1 ? databaseName.substr(colon + 1) : databaseName;
    return path + "-" +
        platform::Format("%.4d-%.2d-%.2d-%.2d-%.2d", now.Year, now.Month, now.Day, now.Hour, now.Minute) + ".gbk";
}

void BackupService::Run(const Options& options, const LineSink& onLine)
{
    // "host:path" or "host/port:path": the host part picks the server's service manager.
    std::string manager = "service_mgr";
    std::string path = options.DatabaseName;
    const size_t colon = options.DatabaseName.find(':');
    if (colon != std::string::npos && colon > 1) {
        manager = options.DatabaseName.substr(0, colon) + ":service_mgr";
        path = options.DatabaseName.substr(colon + 1);
    }

    fb::Status status;
    fb::XpbBuilderPtr attach = fb::NewXpb(Firebird::IXpbBuilder::SPB_ATTACH);
    attach->insertString(&status, isc_spb_user_name, options.User.c_str());
    if (!options.Password.empty()) {
        attach->insertString(&status, isc_spb_password, options.Password.c_str());
    }
    fb::ProviderPtr provider = fb::Dispatcher();
    ServiceThreadsSettle settle;
    fb::ServicePtr service(provider->attachServiceManager(&status, manager.c_str(), attach->getBufferLength(&status),
                                                          attach->getBuffer(&status)));
    fb::Attached();
    settle.Arm();

    fb::XpbBuilderPtr start = fb::NewXpb(Firebird::IXpbBuilder::SPB_START);
    start->insertTag(&status, isc_action_svc_backup);
    start->insertString(&status, isc_spb_dbname, path.c_str());
    start->insertString(&status, isc_spb_bkp_file, options.BackupFile.c_str());
    if (options.Verbose) {
        start->insertTag(&status, isc_spb_verbose);
    }
    service->start(&status, start->getBufferLength(&status), start->getBuffer(&status));
    SqlTrace::Emit(TraceCategory::Service, [&] { return "[Backup] " + options.DatabaseName; });

    // The service answers one line per query; an empty line means it has finished.
    const unsigned char receive[] = {isc_info_svc_line};
    std::vector<unsigned char> buffer(16384);
    bool more = true;
    while (more) {
        service->query(&status, 0, nullptr, sizeof(receive), receive, static_cast<unsigned>(buffer.size()),
                       buffer.data());
        more = false;
        const unsigned char* at = buffer.data();
        const unsigned char* end = buffer.data() + buffer.size();
        while (at < end && *at != isc_info_end) {
            const unsigned char item = *at++;
            if (item == isc_info_svc_line) {
                const uint16_t length = ReadLength(at);
                at += 2;
                if (length > 0) {
                    const std::string line(reinterpret_cast<const char*>(at), length);
                    if (onLine) {
                        onLine(platform::Cp1252ToUtf8Lossy(line));
                    }
                    more = true;
                }
                at += length;
            } else if (item == isc_info_truncated || item == isc_info_svc_timeout || item == isc_info_data_not_ready) {
                more = true;
            } else {
                break;
            }
        }
    }
    // The last line comes before the service has let go of the database: wait for it to stop.
    const unsigned char running[] = {isc_info_svc_running};
    for (int tries = 0; tries < 600; ++tries) {
        service->query(&status, 0, nullptr, sizeof(running), running, static_cast<unsigned>(buffer.size()),
                       buffer.data());
        if (buffer[0] != isc_info_svc_running ||
            (buffer[1] | buffer[2] << 8 | buffer[3] << 16 | buffer[4] << 24) == 0) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    service->detach(&status);
    (void)service.release();
}

} // namespace framework
