// The guard against the parser it guards: random markup of pieces that hide
// end tags from a plain count (multibyte lead bytes, character references,
// comments, quoted values, declarations), read in every encoding. Whatever
// the guard lets through the parser nests no deeper than the limit (an empty
// element may sit one below), and whatever it refuses for depth the parser
// would have nested deeper.
#include "base/XmlLimits.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>

using namespace Velora;

namespace {

size_t Depth(const TiXmlNode* node)
{
    size_t deepest = 0;
    for (const TiXmlElement* child = node->FirstChildElement(); child; child = child->NextSiblingElement())
        deepest = std::max(deepest, 1 + Depth(child));
    return deepest;
}

TEST(WithinXmlLimits, CountsNestingAsTheParserReadsIt)
{
    const char* const pieces[] = {"<a>",  "</a>", "<b x='</a>'>", "</b>", "\xF0", "\xE4", "\xC3", "&#", "#1;",
                                  "&#x",  "x1;",  "<!--",         "-->",  "<![CDATA[", "]]>", "<c/>", " ", "t",
                                  "<?xml version='1.0'?>", ";",   "<",    ">",    "<a",   "/>",   "\xEF\xBB\xBF"};
    const struct {
        XmlEncoding guard;
        TiXmlEncoding parser;
        const char* prefix;
    } modes[] = {{XmlEncoding::Utf8, TIXML_ENCODING_UTF8, ""},
                 {XmlEncoding::Legacy, TIXML_ENCODING_LEGACY, ""},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, ""},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, "\xEF\xBB\xBF"},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, "<?xml version='1.0' encoding='UTF-8'?>"}};
    constexpr size_t kDepth = 4;
    std::mt19937 random(31);
    int refused = 0;
    for (int i = 0; i < 20000; ++i) {
        const auto& mode = modes[i % std::size(modes)];
        std::string text = mode.prefix;
        // Every third piece opens an element, so that many texts nest deep.
        for (int k = int(random() % 40); k > 0; --k) text += random() % 3 ? pieces[random() % std::size(pieces)] : "<a>";
        // The parser may step over the terminator; here it finds more zeros.
        const std::string padded = text + std::string(4, '\0');
        const bool within = WithinXmlLimits(text.c_str(), mode.guard, {kDepth, 100});
        TiXmlDocument document;
        document.Parse(padded.c_str(), nullptr, mode.parser);
        if (within) {
            ASSERT_LE(Depth(&document), kDepth + 1) << text;
        } else if (WithinXmlLimits(text.c_str(), mode.guard, {1000, 100})) {
            ++refused;
            ASSERT_GT(Depth(&document), kDepth) << text;
        }
    }
    EXPECT_GT(refused, 100);
}

} // namespace
