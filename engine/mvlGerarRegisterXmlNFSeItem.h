#pragma once

#include "engine/mvlCollectionItem.h"

#include <string>
#include <string_view>

// The print register of a provider: the XML printing reads, built from a sent lot or from a
// consult answer as the printing configuration's mode asks. The steps shared by every
// provider run here; each provider builds the register itself.
class TmvlGerarRegisterXmlNFSeItem : public TmvlXMLItem
{
public:
    const char* ClassName() const override { return "TmvlGerarRegisterXmlNFSeItem"; }
    void RegisterParams() override;
    void Executar(TmvlNFSeAbrasf& engine) override;

    // Every line break a text node may hold (the answer's line-break text, escaped or not,
    // "<br />", CR LF, LF) becomes "|", the printing's line delimiter. The text must be XML.
    static std::string MarkLineBreaks(std::string_view xml, std::string_view lineBreak);

protected:
    virtual std::string RegisterFromLot(TmvlNFSeAbrasf& engine, const std::string& xml) = 0;
    virtual std::string RegisterFromConsult(TmvlNFSeAbrasf& engine, const std::string& xml,
                                            const std::string& rpsLogEnvio) = 0;
};
