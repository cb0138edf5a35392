#pragma once

#include "engine/mvlConvertFactory.h"

#include <string>
#include <string_view>

// Fills a dataset tree from an XML document of the schema it was generated for.
class TMvlConvertXMLToDataSet : public TmvlConvertFactory
{
public:
    using TmvlConvertFactory::TmvlConvertFactory;

    void LoadXml(std::string_view xml);
};
