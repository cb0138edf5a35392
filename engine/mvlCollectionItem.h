#pragma once

#include "engine/mvlParams.h"

#include <string>

class TmvlNFSeAbrasf;
class TmvlCollection;

// One operation of a provider collection: it registers its parameters, runs against the
// engine and keeps its answer until the next run.
class TmvlCollectionItem
{
public:
    TmvlCollectionItem() = default;
    virtual ~TmvlCollectionItem() = default;
    TmvlCollectionItem(const TmvlCollectionItem&) = delete;
    TmvlCollectionItem& operator=(const TmvlCollectionItem&) = delete;

    // The given class name; also the alias of an operation registered without one.
    virtual const char* ClassName() const = 0;

    TmvlParams& Parametros() { return m_Parametros; }
    const TmvlParams& Parametros() const { return m_Parametros; }

    // The answer as stored; inside a CDATA section "&amp;amp;" is read back as "&amp;".
    virtual std::string GetResponse() const;
    virtual void RegisterParams() { }
    virtual void Executar(TmvlNFSeAbrasf& engine) = 0;

    // Runs once the object is complete (a constructor cannot reach the overrides):
    // registers the parameters and clears the answer.
    void Inicializar(TmvlCollection* collection);
    TmvlCollection* Collection() const { return m_collection; }
    void ClearResponse() { m_response.clear(); }

protected:
    void SetResponse(std::string response) { m_response = std::move(response); }
    // The collection's "CorrigirXml" run on the text; its answer is the text to go on with.
    std::string CorrigirXml(TmvlNFSeAbrasf& engine, std::string_view xml) const;
    const std::string& Response() const { return m_response; }

private:
    TmvlParams m_Parametros;
    std::string m_response;
    TmvlCollection* m_collection = nullptr;
};

// An operation that takes an XML document.
class TmvlXMLItem : public TmvlCollectionItem
{
public:
    void RegisterParams() override;
};
