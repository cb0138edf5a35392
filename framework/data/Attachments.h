#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TCmDatabase;

namespace framework {

// One user connection to a database, as the server's monitoring tables show it.
struct Attachment
{
    int64_t Id = 0;
    std::string RemoteAddress;
    std::string RemoteProcess;
    std::string User;
};

// The other user connections to the database `database` is connected to, in a transaction of
// their own. The engine's own system attachments (garbage collector, cache writer) are not users
// and are left out.
std::vector<Attachment> OtherAttachments(TCmDatabase& database);

// Ends another user's connection; the server rolls its work back.
void EndAttachment(TCmDatabase& database, int64_t id);

} // namespace framework
