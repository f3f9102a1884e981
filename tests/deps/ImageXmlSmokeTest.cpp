// stb_image and TinyXML as linked into the program.
#include <gtest/gtest.h>

#include <stb_image.h>
#include <tinyxml.h>

#include <string>

namespace {

TEST(StbImageSmoke, DecodesAPngHeldInMemory)
{
    // A 2x2 RGBA PNG written by a few lines of Python (zlib + struct).
    const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00, 0x00, 0x72, 0xb6, 0x0d,
        0x24, 0x00, 0x00, 0x00, 0x17, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0,
        0x1f, 0x08, 0x1b, 0x18, 0x80, 0xf4, 0x7f, 0x2e, 0x11, 0x39, 0x06, 0x00, 0x3b, 0x7c, 0x05, 0xb8,
        0x43, 0xcc, 0xa5, 0x25, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(png, sizeof(png), &width, &height, &channels, 4);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(2, width);
    EXPECT_EQ(2, height);
    const unsigned char expected[16] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 10, 20, 30, 0};
    EXPECT_EQ(0, memcmp(expected, pixels, sizeof(expected)));
    stbi_image_free(pixels);
}

TEST(TinyXmlSmoke, ParsesElementsAndText)
{
    TiXmlDocument doc;
    doc.Parse("<FILE><DownloadUrl>http://h/p.vlz</DownloadUrl><FileSize>42</FileSize></FILE>", nullptr,
              TIXML_ENCODING_UNKNOWN);
    ASSERT_FALSE(doc.Error()) << doc.ErrorDesc();
    const TiXmlElement* file = doc.FirstChildElement("FILE");
    ASSERT_NE(nullptr, file);
    const TiXmlElement* size = file->FirstChildElement("FileSize");
    ASSERT_NE(nullptr, size);
    EXPECT_STREQ("42", size->GetText());
}

TEST(TinyXmlSmoke, KeepsWhatWasReadBeforeAParseError)
{
    // The window markup relies on this: an unclosed element ends the parse
    // but the elements before it stay in the tree.
    TiXmlDocument doc;
    doc.Parse("<Window size=\"800,600\"><Label name=\"a\"/><Button name=\"ok\">", nullptr, TIXML_ENCODING_UNKNOWN);
    EXPECT_TRUE(doc.Error());
    const TiXmlElement* window = doc.FirstChildElement("Window");
    ASSERT_NE(nullptr, window);
    EXPECT_STREQ("800,600", window->Attribute("size"));
    ASSERT_NE(nullptr, window->FirstChildElement("Label"));
}

} // namespace
