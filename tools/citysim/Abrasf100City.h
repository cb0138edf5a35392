#pragma once

#include "tools/citysim/CitySim.h"

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// A city of the ABRASF 1.00 model: every request is checked against the model's schemas and
// its signatures are verified before it is answered. Lots get protocols; a lot consultation
// returns the notes issued from its RPS (or "still processing", or the errors found); RPS and
// NFS-e consultations and cancellations work on the notes issued.
//
// Install it on a CitySim that it outlives: declare the city before the server.
class Abrasf100City
{
public:
    // `schemaFolder` holds the model's request schemas (servico_*_envio.xsd).
    explicit Abrasf100City(std::string schemaFolder);
    Abrasf100City(const Abrasf100City&) = delete;
    Abrasf100City& operator=(const Abrasf100City&) = delete;

    void Install(CitySim& sim, const std::string& path = "/nfse");
    CityAnswer Answer(const RecordedRequest& request);

    // The next lots answer "still processing" this many times before their notes are out.
    void SetProcessingConsultations(int count);
    // Lots must carry a verified signature of the lot (on by default).
    void SetRequireLotSignature(bool value);
    // The next lot is refused with this code and message, once.
    void RefuseNextLot(std::string codigo, std::string mensagem);

    // What each request was found to be: "" when it validated and its signatures verified,
    // else the reasons; in arrival order.
    std::vector<std::string> Checks() const;
    // The request documents as received (the business XML, out of its envelope).
    std::vector<std::string> Documents() const;

private:
    struct Note
    {
        std::string Numero;
        std::string CodigoVerificacao;
        std::string DataEmissao;
        std::string Cnpj;
        std::string InscricaoMunicipal;
        std::string NumeroRps;
        std::string SerieRps;
        std::string TipoRps;
        std::string InfRpsXml; // the RPS's data as sent, for the note's body
        bool Cancelada = false;
        std::string Cancelamento; // the cancel request's Pedido, once cancelled
    };
    struct Lot
    {
        std::string NumeroLote;
        int Consultas = 0;
        std::vector<std::string> Erros; // "codigo|mensagem"
        std::vector<size_t> Notes;      // indexes into m_notes
    };

    CityAnswer Receive(const std::string& action, const std::string& document);
    CityAnswer Consult(const std::string& action, const std::string& document);
    std::string CompNfse(const Note& note) const;

    std::string m_schemaFolder;
    mutable std::mutex m_mutex;
    int m_nextProtocol = 5000;
    int m_nextNote = 1;
    int m_processing = 0;
    bool m_requireLotSignature = true;
    std::string m_refuseCode;
    std::string m_refuseMessage;
    std::map<std::string, Lot> m_lots; // protocol → lot
    std::vector<Note> m_notes;
    std::vector<std::string> m_checks;
    std::vector<std::string> m_documents;
};

} // namespace tools
