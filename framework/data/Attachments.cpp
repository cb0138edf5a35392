#include "framework/data/Attachments.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/SqlStatement.h"

namespace framework {

std::vector<Attachment> OtherAttachments(TCmDatabase& database)
{
    TCmTransaction transaction("trAttachments");
    transaction.SetParams({"read_committed", "rec_version", "nowait"});
    transaction.SetDefaultDatabase(&database);
    transaction.StartTransaction();
    std::vector<Attachment> result;
    {
        SqlStatement sql(&database, &transaction);
        sql.SetSQL("select MON$ATTACHMENT_ID, MON$REMOTE_ADDRESS, MON$REMOTE_PROCESS, MON$USER "
                   "from MON$ATTACHMENTS "
                   "where MON$ATTACHMENT_ID <> current_connection and MON$SYSTEM_FLAG = 0 "
                   "order by MON$ATTACHMENT_ID");
        sql.ExecQuery();
        while (!sql.Eof()) {
            Attachment row;
            row.Id = sql.FieldByName("MON$ATTACHMENT_ID").AsInteger();
            row.RemoteAddress = sql.FieldByName("MON$REMOTE_ADDRESS").AsString();
            row.RemoteProcess = sql.FieldByName("MON$REMOTE_PROCESS").AsString();
            row.User = sql.FieldByName("MON$USER").AsString();
            result.push_back(std::move(row));
            sql.Next();
        }
        sql.Close();
    }
    transaction.Commit();
    return result;
}

void EndAttachment(TCmDatabase& database, int64_t id)
{
    TCmTransaction transaction("trAttachments");
    transaction.SetParams({"read_committed", "rec_version", "nowait"});
    transaction.SetDefaultDatabase(&database);
    transaction.StartTransaction();
    {
        SqlStatement sql(&database, &transaction);
        sql.SetSQL("delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID = :CURRENT_CONNECTION");
        sql.SetParam("CURRENT_CONNECTION", SqlValue::Integer(id));
        sql.ExecQuery();
    }
    transaction.Commit();
}

} // namespace framework
