// The guard against the parser it guards: random markup of pieces that hide
// end tags from a plain count (multibyte lead bytes, line ends, character
// references, comments, quoted values, declarations), read in every encoding,
// and as files through VLXmlDocument::Load, whose line ends are folded the way
// the parser's own file reader folds them. Whatever the guard lets through
// the parser nests no deeper than the limit (an empty element may sit one
// below), and whatever it refuses for depth the parser would have nested
// deeper.
#include "base/XmlLimits.h"
#include "download/XmlDocument.h"
#include "tests/support/TestFolder.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <regex>
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
                                  "<?xml version='1.0'?>", ";",   "<",    ">",    "<a",   "/>",   "\xEF\xBB\xBF",
                                  "\r",   "\n",   "\r\n", "\xE4\r\n</a>"};
    const std::string bom = "\xEF\xBB\xBF", declaration = "<?xml version='1.0' encoding='UTF-8'?>";
    const struct {
        XmlEncoding guard;
        TiXmlEncoding parser;
        std::string prefix;
        bool file; // read by Load, whose limit is the seed list's
    } modes[] = {{XmlEncoding::Utf8, TIXML_ENCODING_UTF8, "", false},
                 {XmlEncoding::Legacy, TIXML_ENCODING_LEGACY, "", false},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, "", false},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, bom, false},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, declaration, false},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, "", true},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, bom, true},
                 {XmlEncoding::Unknown, TIXML_ENCODING_UNKNOWN, declaration, true}};
    constexpr size_t kDepth = 4, kFileDepth = 32;
    Velora::Test::TestFolder folder;
    const std::wstring file = folder / L"random.xml";
    const std::regex lineEnd("\r\n?");
    std::mt19937 random(31);
    int refused[2] = {};
    for (int i = 0; i < 12000; ++i) {
        const auto& mode = modes[i % std::size(modes)];
        const size_t limit = mode.file ? kFileDepth : kDepth;
        // A file starts nested just below its limit.
        std::string text = mode.prefix;
        for (size_t k = kDepth; k < limit; ++k) text += "<a>";
        // Every third piece opens an element, so that many texts nest deep.
        for (int k = int(random() % 40); k > 0; --k) text += random() % 3 ? pieces[random() % std::size(pieces)] : "<a>";
        // The parser may step over the terminator; here it finds more zeros.
        const std::string padded = text + std::string(4, '\0');
        // What the parser reads of the file: CR LF and a lone CR are LF.
        const std::string read = mode.file ? std::regex_replace(text, lineEnd, "\n") : text;
        TiXmlDocument parsed;
        bool within;
        if (mode.file) {
            ASSERT_TRUE(Velora::Test::WriteFileBytes(file, padded));
            VLXmlDocument loaded;
            loaded.Load(file);
            // Refused: nothing parsed, so no parse error either.
            within = loaded.loaded || loaded.Error();
            FILE* stream = _wfopen(file.c_str(), L"rb");
            parsed.LoadFile(stream, TIXML_DEFAULT_ENCODING);
            fclose(stream);
            if (within) {
                std::string ours, its;
                ours << loaded;
                its << parsed;
                ASSERT_EQ(its, ours) << text;
            }
        } else {
            within = WithinXmlLimits(text.c_str(), mode.guard, {kDepth, 100});
            parsed.Parse(padded.c_str(), nullptr, mode.parser);
        }
        if (within) {
            ASSERT_LE(Depth(&parsed), limit + 1) << text;
        } else if (WithinXmlLimits(read.c_str(), mode.guard, {1000, 100})) {
            ++refused[mode.file];
            ASSERT_GT(Depth(&parsed), limit) << text;
        }
    }
    EXPECT_GT(refused[0], 100);
    EXPECT_GT(refused[1], 100);
}

} // namespace
