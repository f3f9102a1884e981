#include <gtest/gtest.h>

#include "app/AppString.h"

#include <stb_image.h>
#include <tinyxml.h>
#include <windows.h>

#include <set>
#include <string>

namespace {

std::string ResourceBytes(int id, const wchar_t* type)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
    if (!found) return std::string();
    const void* bytes = LockResource(LoadResource(nullptr, found));
    return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, found)) : std::string();
}

std::wstring FromUtf8(const char* text)
{
    wchar_t wide[512] = {};
    MultiByteToWideChar(CP_UTF8, 0, text ? text : "", -1, wide, 511);
    return wide;
}

TEST(AppResources, EverySkinImageDecodesAtItsSize)
{
    struct Case {
        int id;
        int width;
        int height;
    };
    const Case cases[] = {
        {404, 111, 29}, {405, 111, 29}, {408, 108, 18}, {423, 93, 23},  {510, 800, 600}, {511, 512, 15},
        {512, 509, 13}, {516, 800, 80}, {517, 800, 80}, {518, 798, 32}, {521, 126, 21},  {523, 50, 64},
        {524, 70, 83},  {525, 50, 64},  {526, 50, 64},  {539, 396, 250}, {600, 54, 100}, {601, 18, 380},
        {602, 70, 83},  {603, 412, 41},
    };
    auto check = [](int id, int width, int height) {
        const std::string png = ResourceBytes(id, L"PNG");
        ASSERT_FALSE(png.empty()) << id;
        int w = 0, h = 0, channels = 0;
        stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), int(png.size()), &w,
                                                &h, &channels, 4);
        ASSERT_NE(nullptr, pixels) << id << ": " << stbi_failure_reason();
        stbi_image_free(pixels);
        EXPECT_EQ(width, w) << id;
        EXPECT_EQ(height, h) << id;
        EXPECT_EQ(4, channels) << id;
    };
    for (const Case& c : cases) check(c.id, c.width, c.height);
    for (int logo = 604; logo <= 620; ++logo) check(logo, 50, 50);
    EXPECT_NE(nullptr, LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128), IMAGE_ICON, 16, 16, 0));
}

// The markup is UTF-8 behind its declaration; both windows are there with
// every control the program looks up, and their titles match the string table.
TEST(AppResources, MarkupHoldsBothWindows)
{
    const std::string markup = ResourceBytes(226, L"XML");
    ASSERT_EQ(0u, markup.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    TiXmlDocument document;
    document.Parse(markup.c_str(), nullptr, TIXML_ENCODING_UTF8);
    ASSERT_FALSE(document.Error()) << document.ErrorDesc() << " at row " << document.ErrorRow();
    TiXmlElement* root = document.RootElement();
    ASSERT_NE(nullptr, root);
    EXPECT_STREQ("Root", root->Value());

    struct Window {
        const char* name;
        std::set<int> ids;
        std::wstring title;
    };
    std::set<int> mainIds = {100, 101, 204, 205, 206, 208, 209, 513, 514, 519, 541};
    for (int id = 300; id <= 307; ++id) mainIds.insert(id);
    for (int id = 530; id <= 538; ++id) mainIds.insert(id);
    Window windows[] = {
        {"HarrowWnd", mainIds, Velora::LoadAppString(1332) + L"\n"},
        {"HarrowMsgWnd", {101, 540}, Velora::LoadAppString(1359)},
    };
    for (Window& window : windows) {
        TiXmlElement* element = root->FirstChildElement("Window");
        while (element && window.name != std::string(element->Attribute("name") ? element->Attribute("name") : ""))
            element = element->NextSiblingElement("Window");
        ASSERT_NE(nullptr, element) << window.name;
        std::set<int> found;
        bool titleFound = false;
        // Depth-first over every control of the window.
        for (TiXmlNode* node = element->FirstChild(); node;) {
            if (TiXmlElement* control = node->ToElement()) {
                int id = 0;
                if (control->QueryIntAttribute("id", &id) == TIXML_SUCCESS) found.insert(id);
                if (control->Attribute("text") && FromUtf8(control->Attribute("text")) == window.title)
                    titleFound = true;
                if (std::string(control->Value()) == "Font") {
                    EXPECT_EQ(L"宋体", FromUtf8(control->Attribute("name")));
                }
            }
            if (node->FirstChild()) {
                node = node->FirstChild();
                continue;
            }
            while (node != element && !node->NextSibling()) node = node->Parent();
            node = node == element ? nullptr : node->NextSibling();
        }
        EXPECT_EQ(window.ids, found) << window.name;
        EXPECT_TRUE(titleFound) << window.name;
    }
}

} // namespace
