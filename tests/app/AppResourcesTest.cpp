#include <gtest/gtest.h>

#include "app/AppString.h"
#include "app/HarrowMsgWnd.h"
#include "app/HarrowMsgWndIds.h"
#include "app/HarrowWndIds.h"

#include <stb_image.h>
#include <tinyxml.h>
#include <windows.h>

#include <set>
#include <string>

namespace {

using namespace Velora;

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
        {kImageMainClose, 111, 29},         {kImageMainMinimise, 111, 29},    {kImageCheckBox, 108, 18},
        {kImagePromptClose, 93, 23},        {kImageMainBackground, 800, 600}, {kImageProgressTrack, 512, 15},
        {kImageProgressFill, 509, 13},      {kImageRowStripeEven, 800, 80},   {kImageRowStripeOdd, 800, 80},
        {kImageListFooter, 798, 32},        {kImageBusySpinner, 126, 21},     {kImageCheckDone, 50, 64},
        {kImageRepairingIcon, 70, 83},      {kImageAllRepairedIcon, 50, 64},  {kImageAttentionIcon, 50, 64},
        {kImagePromptBackground, 396, 250}, {kImageSliderThumb, 54, 100},     {kImageSliderTrack, 18, 380},
        {kImageCheckingIcon, 70, 83},       {kImageButton, 412, 41},
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
    for (int logo : {kImageDirectX, kImageGfwLive, kImageDotNet, kImageAppLocale, kImageSilverlight, kImageXna40,
                     kImageMsxml6, kImageXna31, kImageMsxml34, kImageOpenAL, kImageVC2005, kImageVC2008, kImageVC2010,
                     kImageVC2012, kImagePhysX, kImageJava, kImageFlash})
        check(logo, 50, 50);
    EXPECT_NE(nullptr, LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kWindowIconId), IMAGE_ICON, 16, 16, 0));
}

// The markup is UTF-8 behind its declaration; both windows are there with
// every control the program looks up, and their titles match the string table.
TEST(AppResources, MarkupHoldsBothWindows)
{
    const std::string markup = ResourceBytes(kSkinMarkupId, L"XML");
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
    std::set<int> mainIds = {kMinimiseButton, kCloseButton, kList,      kSelectAll,  kActionButton,  kStartPage,
                             kTitleText,      kStartButton, kListPage,  kListSlider, kCheckText,     kCheckSummary,
                             kRepairText,     kCheckBar,    kRepairBar, kSpeedText,  kRepairSummary, kAllRepairedText,
                             kCancelText,     kStatusPanels};
    mainIds.insert(std::begin(kPanels), std::end(kPanels));
    Window windows[] = {
        {"HarrowWnd", mainIds, LoadAppString(kStringTitle) + L"\n"},
        {"HarrowMsgWnd", {kPromptClose, kPromptOk}, LoadAppString(kStringPromptTitle)},
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
