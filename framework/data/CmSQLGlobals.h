#pragma once

#include "platform/DateTime.h"

#include <functional>
#include <string>
#include <vector>

class TCmDataSet;

// The session's working date. Every change, valid or not, recomputes the caption suffix the
// framework windows show and tells them (through the handler) to refresh their captions.
class TDataAtual
{
public:
    TDataAtual();
    TDataAtual(const TDataAtual&) = delete;
    TDataAtual& operator=(const TDataAtual&) = delete;

    const platform::DateTime& Data() const { return m_Data; }
    void SetData(const platform::DateTime& value);
    const std::string& Mascara() const { return m_Mascara; }
    void SetMascara(std::string mask);

    int Dia() const { return m_Data.Day; }
    int Mes() const { return m_Data.Month; }
    int Ano() const { return m_Data.Year; }
    // A part that makes no valid date leaves Data as it was.
    void SetDia(int day);
    void SetMes(int month);
    void SetAno(int year);

    // " - (dd/mm/yyyy)" after a date past the zero date, empty otherwise.
    const std::string& CaptionSuffix() const { return m_captionSuffix; }
    void SetChangedHandler(std::function<void()> handler) { m_changed = std::move(handler); }

private:
    void SetPart(int platform::DateTime::*part, int value);
    void Changed();

    platform::DateTime m_Data;
    std::string m_Mascara = "dd/mm/yyyy";
    std::string m_captionSuffix;
    std::function<void()> m_changed;
};

// Who is logged in, in which module, on which working date, and which framework datasets
// are open: the session every framework window and dataset reads.
class TCmSQLGlobals
{
public:
    TCmSQLGlobals() = default;
    TCmSQLGlobals(const TCmSQLGlobals&) = delete;
    TCmSQLGlobals& operator=(const TCmSQLGlobals&) = delete;

    TDataAtual& DataAtual() { return m_DataAtual; }
    const TDataAtual& DataAtual() const { return m_DataAtual; }

    const std::string& Usuario() const { return m_Usuario; }
    void SetUsuario(std::string value) { m_Usuario = std::move(value); }
    int UsuarioID() const { return m_UsuarioID; }
    void SetUsuarioID(int value) { m_UsuarioID = value; }
    const std::string& FirstName() const { return m_FirstName; }
    void SetFirstName(std::string value) { m_FirstName = std::move(value); }
    const std::string& LastName() const { return m_LastName; }
    void SetLastName(std::string value) { m_LastName = std::move(value); }
    bool IsSupervisor() const { return m_IsSupervisor; }
    void SetIsSupervisor(bool value) { m_IsSupervisor = value; }
    const std::string& Modulo() const { return m_Modulo; }
    void SetModulo(std::string value) { m_Modulo = std::move(value); }
    int ModuloID() const { return m_ModuloID; }
    void SetModuloID(int value) { m_ModuloID = value; }

    // The module numbers the user may use, as text, in the order the login read them.
    std::vector<std::string>& Modules() { return m_modules; }
    const std::vector<std::string>& Modules() const { return m_modules; }

    // Open framework datasets, not owned; used to reopen them after a database switch.
    void AddDataSet(TCmDataSet* dataSet);
    void RemoveDataSet(TCmDataSet* dataSet);
    int DataSetCount() const { return static_cast<int>(m_dataSets.size()); }
    TCmDataSet* DataSets(int index) const { return m_dataSets.at(static_cast<size_t>(index)); }

private:
    TDataAtual m_DataAtual;
    std::string m_Usuario;
    int m_UsuarioID = 0;
    std::string m_FirstName;
    std::string m_LastName;
    bool m_IsSupervisor = false;
    std::string m_Modulo;
    int m_ModuloID = 0;
    std::vector<std::string> m_modules;
    std::vector<TCmDataSet*> m_dataSets;
};
