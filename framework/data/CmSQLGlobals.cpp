#include "framework/data/CmSQLGlobals.h"

#include "platform/Clock.h"
#include "platform/FormatSettings.h"

#include <algorithm>

TDataAtual::TDataAtual()
    : m_Data(platform::Clock::Today())
{
    Changed();
}

void TDataAtual::SetData(const platform::DateTime& value)
{
    m_Data = value;
    Changed();
}

void TDataAtual::SetMascara(std::string mask)
{
    m_Mascara = std::move(mask);
}

void TDataAtual::SetDia(int day)
{
    SetPart(&platform::DateTime::Day, day);
}

void TDataAtual::SetMes(int month)
{
    SetPart(&platform::DateTime::Month, month);
}

void TDataAtual::SetAno(int year)
{
    SetPart(&platform::DateTime::Year, year);
}

void TDataAtual::SetPart(int platform::DateTime::*part, int value)
{
    platform::DateTime candidate = m_Data;
    candidate.*part = value;
    if (platform::IsValidDateTime(candidate)) {
        m_Data = candidate;
    }
    Changed();
}

void TDataAtual::Changed()
{
    // The zero date (30/12/1899) and anything before it mean "no working date".
    m_captionSuffix.clear();
    if (m_Data > platform::DateTime {}) {
        m_captionSuffix =
            " - (" + platform::FormatDateTime(m_Mascara, m_Data, platform::BrazilianFormatSettings()) + ")";
    }
    if (m_changed) {
        m_changed();
    }
}

void TCmSQLGlobals::AddDataSet(TCmDataSet* dataSet)
{
    if (std::find(m_dataSets.begin(), m_dataSets.end(), dataSet) == m_dataSets.end()) {
        m_dataSets.push_back(dataSet);
    }
}

void TCmSQLGlobals::RemoveDataSet(TCmDataSet* dataSet)
{
    m_dataSets.erase(std::remove(m_dataSets.begin(), m_dataSets.end(), dataSet), m_dataSets.end());
}
