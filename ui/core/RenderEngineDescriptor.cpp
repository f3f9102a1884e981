// Reading and rewriting single keys of an image descriptor.
#include "ui/core/RenderEngine.h"

#include "base/StringUtil.h"
#include "ui/core/ValueText.h"

#include <cwchar>

namespace Velora {
namespace VLRenderEngine {

namespace {

enum ValueKind { kInt, kText, kColour, kBool, kRect, kPair, kReal };

struct KeyInfo {
    const wchar_t* name;
    ValueKind kind;
};

const KeyInfo kKeys[kDescKeyCount] = {
    {L"res", kInt},       {L"restype", kText},   {L"mask", kColour},     {L"encrypt", kBool},
    {L"file", kText},     {L"icon", kBool},      {L"iconsize", kInt},    {L"dest", kRect},
    {L"source", kRect},   {L"corner", kRect},    {L"fade", kInt},        {L"alphaClose", kBool},
    {L"reverse", kBool},  {L"round", kPair},     {L"right", kBool},      {L"rotate", kReal},
    {L"hole", kBool},     {L"rgnimage", kText},  {L"rgnrestype", kText}, {L"rgnmask", kColour},
    {L"rolltext", kInt},
};

VLDescriptorValue Read(int key, const std::wstring& descriptor)
{
    VLDescriptorValue value;
    GetDescriptorValue(key, descriptor, value);
    return value;
}

void SetPair(std::wstring& descriptor, const wchar_t* key, const std::wstring& value)
{
    const std::wstring opening = std::wstring(key) + L"='";
    const std::wstring pair = opening + value + L"'";
    const size_t at = descriptor.find(opening);
    if (at == std::wstring::npos) {
        if (!descriptor.empty()) descriptor += L' ';
        descriptor += pair;
        return;
    }
    const size_t close = descriptor.find(L'\'', at + opening.size());
    const std::wstring old = descriptor.substr(at, close == std::wstring::npos ? std::wstring::npos : close + 1 - at);
    ReplaceAll(descriptor, old.c_str(), pair.c_str());
}

} // namespace

bool GetDescriptorValue(int key, const std::wstring& descriptor, VLDescriptorValue& value)
{
    if (key < 0 || key >= kDescKeyCount) return false;
    const std::wstring opening = std::wstring(kKeys[key].name) + L"='";
    const size_t at = descriptor.find(opening);
    if (at == std::wstring::npos) return false;
    const size_t start = at + opening.size();
    const std::wstring text = descriptor.substr(start, descriptor.find(L'\'', start) - start);
    if (text.empty()) return false;
    switch (kKeys[key].kind) {
    case kInt: value.number = _wtoi(text.c_str()); break;
    case kText: value.text = text; break;
    case kColour: value.colour = ReadHexColour(text.c_str()); break;
    case kBool: value.flag = text == L"true"; break;
    case kRect: value.rect = ReadRect(text); break;
    case kPair: {
        int n[2];
        ReadIntList(text.c_str(), n, 2);
        value.pair = {n[0], n[1]};
        break;
    }
    case kReal: value.real = wcstod(text.c_str(), nullptr); break;
    }
    return true;
}

int GetDescriptorRes(const std::wstring& descriptor) { return Read(kDescRes, descriptor).number; }
std::wstring GetDescriptorResType(const std::wstring& descriptor) { return Read(kDescResType, descriptor).text; }
uint32_t GetDescriptorMask(const std::wstring& descriptor) { return Read(kDescMask, descriptor).colour; }
bool GetDescriptorEncrypt(const std::wstring& descriptor) { return Read(kDescEncrypt, descriptor).flag; }
std::wstring GetDescriptorFile(const std::wstring& descriptor) { return Read(kDescFile, descriptor).text; }
RECT GetDescriptorSource(const std::wstring& descriptor) { return Read(kDescSource, descriptor).rect; }
RECT GetDescriptorCorner(const std::wstring& descriptor) { return Read(kDescCorner, descriptor).rect; }
double GetDescriptorRotate(const std::wstring& descriptor) { return Read(kDescRotate, descriptor).real; }
int GetDescriptorRollText(const std::wstring& descriptor) { return Read(kDescRollText, descriptor).number; }

void SetDescriptorRollText(std::wstring& descriptor, int offset)
{
    std::wstring value;
    Format(value, L"%d", offset);
    SetPair(descriptor, L"rolltext", value);
}

void SetDescriptorSource(std::wstring& descriptor, const RECT& source)
{
    std::wstring value;
    Format(value, L"%d,%d,%d,%d", source.left, source.top, source.right, source.bottom);
    SetPair(descriptor, L"source", value);
}

void SetDescriptorRotate(std::wstring& descriptor, double angle)
{
    std::wstring value;
    Format(value, L"%lf", angle);
    SetPair(descriptor, L"rotate", value);
}

} // namespace VLRenderEngine
} // namespace Velora
