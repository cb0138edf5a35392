#pragma once

#include "engine/MvlXSDClientDataSet.h"

#include <string>
#include <vector>

class TmvlCustomXsdDataset;

// Base of the converters that fill a dataset tree; writes a filled tree as XML.
class TmvlConvertFactory
{
public:
    explicit TmvlConvertFactory(TmvlCustomXsdDataset& owner)
        : m_owner(owner)
    { }
    virtual ~TmvlConvertFactory() = default;
    TmvlConvertFactory(const TmvlConvertFactory&) = delete;
    TmvlConvertFactory& operator=(const TmvlConvertFactory&) = delete;

    // The XML of the filled tree, XMLHeader in front.
    std::string GetXml();

protected:
    TmvlCustomXsdDataset& Owner() const { return m_owner; }
    // The checks every reader and writer of the tree starts with.
    void CheckDataSets() const;

private:
    TmvlCustomXsdDataset& m_owner;
};
