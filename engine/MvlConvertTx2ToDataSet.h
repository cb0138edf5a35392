#pragma once

#include "engine/mvlConvertFactory.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Fills a dataset tree from the lines of a TX2 batch, as the mapping file's commands and field
// names direct. A second load adds to what the first one left.
class TMvlConvertTx2ToDataSet : public TmvlConvertFactory
{
public:
    using TmvlConvertFactory::TmvlConvertFactory;

    void LoadLines(const std::vector<std::string>& lines);

private:
    struct Command
    {
        std::string DataSet;
        std::string Action;
    };

    void Prepare();
    void RunCommand(const Command& command);
    void StoreField(const std::string& line, size_t lineNumber);

    bool m_prepared = false;
    // Keyed by the folded keyword.
    std::unordered_map<std::string, Command> m_commands;
    std::vector<std::string> m_keywords;
    std::unordered_set<std::string> m_fieldNames;
    TMvlXSDClientDataSet* m_current = nullptr;
    bool m_skipping = false;
};
