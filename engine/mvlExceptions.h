#pragma once

#include <exception>
#include <string>
#include <string_view>

// The engine's error family. Each class keeps its given name for the error log and for the
// callers that catch by type; the Portuguese text is what() as it stands.
class EmvlException : public std::exception
{
public:
    explicit EmvlException(std::string message)
        : m_message(std::move(message))
    { }

    const char* what() const noexcept override { return m_message.c_str(); }
    virtual const char* ClassName() const noexcept { return "EmvlException"; }

protected:
    // The family is built bottom-up, so a base constructor cannot ask a virtual for the
    // derived class's name: each class hands its name down instead.
    EmvlException(std::string message, const char* className, bool writeErrorLog);

private:
    std::string m_message;
};

// Every engine error raised with a message leaves one line in "nfse_exception.log".
class EmvlNFSeException : public EmvlException
{
public:
    explicit EmvlNFSeException(std::string message)
        : EmvlException(std::move(message), "EmvlNFSeException", true)
    { }
    const char* ClassName() const noexcept override { return "EmvlNFSeException"; }

    // The folder of "nfse_exception.log", shared by every engine of the process; empty means
    // the program folder.
    static void SetErrorLogFolder(std::string_view folder);
    static std::string ErrorLogFolder();
    // "[dd/mm/yyyy hh:nn:ss:zzz] <thread> - <class> : <message>", without the line break.
    static std::string ErrorLogLine(std::string_view className, std::string_view message);

protected:
    EmvlNFSeException(std::string message, const char* className)
        : EmvlException(std::move(message), className, true)
    { }
};

namespace engine {

// A class of the family whose only difference is its name.
template <size_t N>
struct ClassNameLiteral
{
    constexpr ClassNameLiteral(const char (&text)[N])
    {
        for (size_t i = 0; i < N; ++i) {
            Value[i] = text[i];
        }
    }
    char Value[N];
};

template <class Base, ClassNameLiteral Name>
class EmvlClass : public Base
{
public:
    explicit EmvlClass(std::string message)
        : Base(std::move(message), Name.Value)
    { }
    const char* ClassName() const noexcept override { return Name.Value; }

protected:
    EmvlClass(std::string message, const char* className)
        : Base(std::move(message), className)
    { }
};

// The classes outside the NFS-e branch write no error-log line.
class EmvlPlain : public EmvlException
{
protected:
    EmvlPlain(std::string message, const char* className)
        : EmvlException(std::move(message), className, false)
    { }
};

} // namespace engine

using EmvlNFSeFileNotFoundException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeFileNotFoundException">;
using EmvlNFSeSignatureException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeSignatureException">;
using EmvlNFSeAddressException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeAddressException">;
using EmvlNFSeDatasetException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeDatasetException">;
using EmvlNFSeCollectionException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeCollectionException">;
using EmvlNFSeUnavailableService = engine::EmvlClass<EmvlNFSeCollectionException, "EmvlNFSeUnavailableService">;
using EmvlNFSeXmlInvalidoServico = engine::EmvlClass<EmvlNFSeCollectionException, "EmvlNFSeXmlInvalidoServico">;
using EmvlNFSeImpressaoException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeImpressaoException">;
using EmvlNFSeProxyException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeProxyException">;
using EmvlNFSeEnvioSincronoInexistente = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeEnvioSincronoInexistente">;
using EmvlNFSeEnvioAssincronoInexistente = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeEnvioAssincronoInexistente">;
using EmvlNFSeOperacaoIndisponivelException =
    engine::EmvlClass<EmvlNFSeException, "EmvlNFSeOperacaoIndisponivelException">;
using EmvlNFSeInutilizarException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeInutilizarException">;
using EmvlNFSeCheckParams = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeCheckParams">;
using EmvlNFSeUnknownException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeUnknownException">;
using EmvlNFSeLoadTemplateException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeLoadTemplateException">;
using EmvlNFSeComunicationServerErrorException =
    engine::EmvlClass<EmvlNFSeException, "EmvlNFSeComunicationServerErrorException">;
// The print datasets.
using EmvlNFSeMappingDatasetsException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeMappingDatasetsException">;
using EmvlNFSeLocaisIniException = engine::EmvlClass<EmvlNFSeException, "EmvlNFSeLocaisIniException">;

// The XSD datasets: schema walking, TX2 and XML loading, XML writing.
using EmvlXSDException = engine::EmvlClass<EmvlNFSeException, "EmvlXSDException">;
using EmvlXSDEmptyParent = engine::EmvlClass<EmvlXSDException, "EmvlXSDEmptyParent">;
using EmvlXSDTx2EmptyParent = engine::EmvlClass<EmvlXSDException, "EmvlXSDTx2EmptyParent">;
using EmvlXSDFileNotFound = engine::EmvlClass<EmvlXSDException, "EmvlXSDFileNotFound">;
using EmvlXSDStartNodeNotFound = engine::EmvlClass<EmvlXSDException, "EmvlXSDStartNodeNotFound">;

using EmvlSchemaValidationException = engine::EmvlClass<engine::EmvlPlain, "EmvlSchemaValidationException">;
using EmvlTemplateNotFoundException = engine::EmvlClass<engine::EmvlPlain, "EmvlTemplateNotFoundException">;
using EmvlCertStoreException = engine::EmvlClass<engine::EmvlPlain, "EmvlCertStoreException">;
using EmvlConfigINIException = engine::EmvlClass<engine::EmvlPlain, "EmvlConfigINIException">;
using EmvlLogException = engine::EmvlClass<engine::EmvlPlain, "EmvlLogException">;

// Any foreign error inside an operation reaches the caller as this one.
EmvlNFSeUnknownException UnknownError(const std::exception& error);
