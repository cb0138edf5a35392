#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TCmDataSet;
class TField;
class TCmEvaluate;

// One message about a field. Kind: 0 hint, 1 warning, 2 error.
struct TCmError
{
    std::string Message;
    int Kind = 2;
    std::string FieldName;
    std::string FocusControl;
};

// The messages of one field.
class TCmErrors
{
public:
    explicit TCmErrors(std::string fieldName);

    const std::string& FieldName() const { return m_FieldName; }
    int Count() const { return static_cast<int>(m_errors.size()); }
    const TCmError& Items(int index) const { return m_errors.at(static_cast<size_t>(index)); }
    void Add(const std::string& message, int kind, const std::string& focusControl = {});
    void AddHint(const std::string& message, const std::string& focusControl = {}) { Add(message, 0, focusControl); }
    void AddWarning(const std::string& message, const std::string& focusControl = {}) { Add(message, 1, focusControl); }
    void AddError(const std::string& message, const std::string& focusControl = {}) { Add(message, 2, focusControl); }

private:
    std::string m_FieldName;
    std::vector<TCmError> m_errors;
};

// One TCmErrors per field that produced messages, in the order the checks ran.
class TCmErrorList
{
public:
    TCmErrors& Add(const std::string& fieldName);
    void Delete(int index);
    void Clear() { m_items.clear(); }
    int Count() const { return static_cast<int>(m_items.size()); }
    TCmErrors& Items(int index) const { return *m_items.at(static_cast<size_t>(index)); }
    // Messages of that kind over all fields.
    int CountOfKind(int kind) const;

private:
    std::vector<std::unique_ptr<TCmErrors>> m_items;
};

struct TEvalInfo
{
    TField* Field = nullptr; // absent when the dataset has no field of that name
    TCmDataSet* DataSet = nullptr;
};

using TOnEvaluate = std::function<void(const TEvalInfo&, TCmErrors&)>;

// Hooks a window adds around the evaluator's check of one field.
class TEvalItem
{
public:
    explicit TEvalItem(const std::string& fieldName);
    // Stored upper-case; also the name shown.
    const std::string& FieldName() const { return m_FieldName; }
    void SetFieldName(const std::string& fieldName);

    TOnEvaluate OnBeforeEvaluate;
    TOnEvaluate OnAfterEvaluate;

private:
    std::string m_FieldName;
};

class TEvalList
{
public:
    TEvalItem& Add(const std::string& fieldName);
    int Count() const { return static_cast<int>(m_items.size()); }
    TEvalItem& Items(int index) const { return *m_items.at(static_cast<size_t>(index)); }
    // The item of the field (compared upper-case), or none.
    TEvalItem* Find(const std::string& fieldName) const;

private:
    std::vector<std::unique_ptr<TEvalItem>> m_items;
};

namespace framework {

// The checks of one kind of record, in the order they run; made afresh for every evaluation.
class Evaluator
{
public:
    struct Check
    {
        std::string FieldName;
        TOnEvaluate Handler;
    };
    virtual ~Evaluator() = default;
    const std::vector<Check>& Checks() const { return m_checks; }

protected:
    void AddCheck(std::string fieldName, TOnEvaluate handler);

private:
    std::vector<Check> m_checks;
};

} // namespace framework

// Makes the evaluator; empty when there is none.
using TEvalClass = std::function<std::unique_ptr<framework::Evaluator>()>;
using TGetEvalClassEvent = std::function<TEvalClass(TCmEvaluate&)>;

// Runs a record's field checks and collects their messages: errors block saving, warnings are
// asked about, hints only inform (the windows decide).
class TCmEvaluate
{
public:
    TCmEvaluate() = default;
    TCmEvaluate(const TCmEvaluate&) = delete;
    TCmEvaluate& operator=(const TCmEvaluate&) = delete;

    TCmDataSet* DataSet() const { return m_DataSet; }
    void SetDataSet(TCmDataSet* dataSet) { m_DataSet = dataSet; }
    TEvalList& Evals() { return m_Evals; }
    TCmErrorList& ErrorList() { return m_errorList; }
    const TCmErrorList& ErrorList() const { return m_errorList; }

    TGetEvalClassEvent GetEvalClass;

    void Evaluate();

private:
    TCmDataSet* m_DataSet = nullptr;
    TEvalList m_Evals;
    TCmErrorList m_errorList;
};
