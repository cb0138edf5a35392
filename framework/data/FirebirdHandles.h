#pragma once

// The one header that brings the Firebird client API in. Every handle the layer holds has one
// owning alias here, and the call that ends it lives only in that alias's deleter.

#include <firebird/Interface.h>

#include <memory>

namespace framework::fb {

// The client's entry point. The first call points FIREBIRD_LOCK at a private folder when the
// process does not run as root: the embedded engine cannot share root's lock folder.
Firebird::IMaster* Master();
Firebird::IUtil* Util();
// Called after every successful attachment (database or service manager): arranges the
// engine's orderly stop at exit.
void Attached();

// A status that raises framework::DatabaseError (SQL code and the server's message) as soon as a
// call through it fails, so no wrapper forgets to look.
class Status final : public Firebird::BaseStatusWrapper<Status>
{
public:
    Status();
    ~Status();
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;

    static void checkException(Status* status);
};

[[noreturn]] void ThrowStatus(const Firebird::IStatus* status);

struct ReleaseDeleter
{
    void operator()(Firebird::IReferenceCounted* handle) const noexcept;
};
struct DisposeDeleter
{
    void operator()(Firebird::IDisposable* handle) const noexcept;
};
struct AttachmentDeleter
{
    void operator()(Firebird::IAttachment* handle) const noexcept;
};
struct TransactionDeleter
{
    void operator()(Firebird::ITransaction* handle) const noexcept;
};
struct StatementDeleter
{
    void operator()(Firebird::IStatement* handle) const noexcept;
};
struct ResultSetDeleter
{
    void operator()(Firebird::IResultSet* handle) const noexcept;
};
struct BlobDeleter
{
    void operator()(Firebird::IBlob* handle) const noexcept;
};
struct ServiceDeleter
{
    void operator()(Firebird::IService* handle) const noexcept;
};

using ProviderPtr = std::unique_ptr<Firebird::IProvider, ReleaseDeleter>;
using MetadataPtr = std::unique_ptr<Firebird::IMessageMetadata, ReleaseDeleter>;
using MetadataBuilderPtr = std::unique_ptr<Firebird::IMetadataBuilder, ReleaseDeleter>;
using XpbBuilderPtr = std::unique_ptr<Firebird::IXpbBuilder, DisposeDeleter>;
// Detaches (or, when that fails, drops the client's reference).
using AttachmentPtr = std::unique_ptr<Firebird::IAttachment, AttachmentDeleter>;
// Rolls back a transaction nobody ended.
using TransactionPtr = std::unique_ptr<Firebird::ITransaction, TransactionDeleter>;
using StatementPtr = std::unique_ptr<Firebird::IStatement, StatementDeleter>;
using ResultSetPtr = std::unique_ptr<Firebird::IResultSet, ResultSetDeleter>;
// Cancels a blob that was not closed: a half-written blob is never kept.
using BlobPtr = std::unique_ptr<Firebird::IBlob, BlobDeleter>;
using ServicePtr = std::unique_ptr<Firebird::IService, ServiceDeleter>;

ProviderPtr Dispatcher();
XpbBuilderPtr NewXpb(unsigned kind);

} // namespace framework::fb
