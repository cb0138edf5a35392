#pragma once

#include "tests/support/TestSupport.h"

#include <string>

namespace tests {

// A program folder of the engine's own inside the test's folder: locals and servers files
// pointing at this machine, and a configuration that names them.
inline std::string MakeEngineFolder()
{
    const std::string root = TempDir();
    WriteFile(root + "nfseLocais.ini",
              "[LOCAIS]\n"
              "CIDADETESTEXX=9999999\n"
              "[BELOHORIZONTE]\n"
              "CollectionName=BeloHorizonte\n"
              "ConexaoSegura=1\n"
              "IdTag=ID\n"
              "GerarAssinaturaRps=1\n"
              "UsarIdLoteRps=0\n"
              "SoapActionCancelarNfse=http://ws/Cancelar\n"
              "WebserviceEncoding=ISO-8859-1\n"
              "LineBreak=&#xD;&#xA;\n"
              "TargetNamespace=http://ws.bhiss/\n");
    WriteFile(root + "nfseServidoresHom.ini",
              "[BELOHORIZONTE]\n"
              "NFSe=http://127.0.0.1:8090/bh/hom\n"
              "NFSeCancelarNfse=http://127.0.0.1:8090/bh/hom/cancelar\n"
              "SoapURI=http://127.0.0.1/ns\n"
              "Extra=http://127.0.0.1:8090/bh/extra\n"
              "[CURITIBA]\n"
              "NFSeConsultarNfse=http://127.0.0.1:8090/cwb/consultar\n"
              "[SEMENDERECO]\n");
    WriteFile(root + "nfseServidoresProd.ini",
              "[BELOHORIZONTE]\n"
              "NFSe=http://127.0.0.1:8091/bh/prod\n");
    return root;
}

} // namespace tests
