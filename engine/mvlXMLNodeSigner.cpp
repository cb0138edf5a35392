#include "engine/mvlXMLNodeSigner.h"

#include "engine/XmlSigner.h"
#include "engine/mvlAssinadorNFSeX.h"
#include "engine/mvlNFSe.h"

void TmvlXMLNodeSigner::RegisterParams()
{
    TmvlXMLItem::RegisterParams();
    Parametros().Add("ElementoXML");
    Parametros().Add("IdElementoXML");
}

void TmvlXMLNodeSigner::Executar(TmvlNFSeAbrasf& engine)
{
    const std::string xml = Parametros().Value("XML", true);
    const std::string element = Parametros().Value("ElementoXML", true);
    const std::string id = Parametros().Value("IdElementoXML", true);
    const engine::XmlSigner signer(engine.SelectedCertificate());
    SetResponse(engine::SignByNode(xml, element, engine.ConfiguracoesWebService().IdTag, id,
                                   engine.MakeSigningSettings(), signer));
}
