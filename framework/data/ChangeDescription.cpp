#include "framework/data/ChangeDescription.h"

#include "framework/data/CmDataSet.h"

namespace framework {

namespace {

const char* Heading(ChangeKind kind, bool childItem)
{
    switch (kind) {
    case ChangeKind::Insert:
        return childItem ? "Item Inserido:" : "Registro Inserido";
    case ChangeKind::Change:
        return childItem ? "Item Modificado:" : "Modificado:";
    case ChangeKind::Delete:
        return childItem ? "Item Excluído:" : "Excluído:";
    }
    return "";
}

} // namespace

std::string ChangeDescription(const TCmDataSet& dataSet, ChangeKind kind, bool childItem)
{
    std::string segments;
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
        const TField& field = dataSet.Fields(i);
        // An image or a file says nothing readable, and its bytes would not fit the log's text.
        if (!field.Visible() || field.DataType() == TFieldType::ftBlob) {
            continue;
        }
        // Compared as the user reads them, so a NULL turned into an empty text is no change.
        const std::string oldText = field.AsStringOf(field.OldValue());
        const std::string newText = field.AsStringOf(field.Value());
        switch (kind) {
        case ChangeKind::Insert:
            // A new record has no old values: it is described by what it was given.
            if (!newText.empty()) {
                segments += "|" + field.DisplayLabel() + ":" + newText;
            }
            break;
        case ChangeKind::Change:
            if (oldText != newText) {
                segments += "|" + field.DisplayLabel() + ":" + oldText + ">>" + newText;
            }
            break;
        case ChangeKind::Delete:
            if (!oldText.empty()) {
                segments += "|" + field.DisplayLabel() + ":" + oldText;
            }
            break;
        }
    }
    if (segments.empty() && kind != ChangeKind::Delete) {
        return {};
    }
    return Heading(kind, childItem) + segments + ".";
}

} // namespace framework
