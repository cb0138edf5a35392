#include "framework/data/CmEvaluate.h"

#include "framework/data/CmDataSet.h"

namespace {

std::string UpperAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

TCmErrors::TCmErrors(std::string fieldName)
    : m_FieldName(UpperAscii(std::move(fieldName)))
{ }

void TCmErrors::Add(const std::string& message, int kind, const std::string& focusControl)
{
    m_errors.push_back({message, kind, m_FieldName, focusControl});
}

TCmErrors& TCmErrorList::Add(const std::string& fieldName)
{
    m_items.push_back(std::make_unique<TCmErrors>(fieldName));
    return *m_items.back();
}

void TCmErrorList::Delete(int index)
{
    m_items.erase(m_items.begin() + index);
}

int TCmErrorList::CountOfKind(int kind) const
{
    int count = 0;
    for (const auto& item : m_items) {
        for (int i = 0; i < item->Count(); ++i) {
            count += item->Items(i).Kind == kind ? 1 : 0;
        }
    }
    return count;
}

TEvalItem::TEvalItem(const std::string& fieldName)
{
    SetFieldName(fieldName);
}

void TEvalItem::SetFieldName(const std::string& fieldName)
{
    m_FieldName = UpperAscii(fieldName);
}

TEvalItem& TEvalList::Add(const std::string& fieldName)
{
    m_items.push_back(std::make_unique<TEvalItem>(fieldName));
    return *m_items.back();
}

TEvalItem* TEvalList::Find(const std::string& fieldName) const
{
    const std::string wanted = UpperAscii(fieldName);
    for (const auto& item : m_items) {
        if (item->FieldName() == wanted) {
            return item.get();
        }
    }
    return nullptr;
}

void framework::Evaluator::AddCheck(std::string fieldName, TOnEvaluate handler)
{
    m_checks.push_back({std::move(fieldName), std::move(handler)});
}

void TCmEvaluate::Evaluate()
{
    if (!GetEvalClass) {
        return;
    }
    const TEvalClass evalClass = GetEvalClass(*this);
    if (!evalClass) {
        return;
    }
    const std::unique_ptr<framework::Evaluator> evaluator = evalClass();
    m_errorList.Clear();
    if (!evaluator) {
        return;
    }
    for (const framework::Evaluator::Check& check : evaluator->Checks()) {
        TCmErrors& errors = m_errorList.Add(check.FieldName);
        const TEvalItem* item = m_Evals.Find(check.FieldName);
        const TEvalInfo info {m_DataSet ? m_DataSet->FindField(check.FieldName) : nullptr, m_DataSet};
        if (item && item->OnBeforeEvaluate) {
            item->OnBeforeEvaluate(info, errors);
        }
        if (check.Handler) {
            check.Handler(info, errors);
        }
        if (item && item->OnAfterEvaluate) {
            item->OnAfterEvaluate(info, errors);
        }
        if (errors.Count() == 0) {
            m_errorList.Delete(m_errorList.Count() - 1);
        }
    }
}
