// The render engine: stateless operations grouped under one name. Image
// descriptors are texts of key='value' pairs that name an image and how to
// draw it ("res='510' restype='PNG' source='0,0,37,29'").
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velora {

// One value read from a descriptor: each key writes only the member of its
// type.
struct VLDescriptorValue {
    bool flag = false;
    int number = 0;
    std::wstring text;
    double real = 0.0;
    uint32_t colour = 0;
    POINT pair = {0, 0};
    RECT rect = {};
};

// Keys of the single-key reader, numbered in the reader's table order.
enum VLDescriptorKey {
    kDescRes,
    kDescResType,
    kDescMask,
    kDescEncrypt,
    kDescFile,
    kDescIcon,
    kDescIconSize,
    kDescDest,
    kDescSource,
    kDescCorner,
    kDescFade,
    kDescAlphaClose,
    kDescReverse,
    kDescRound,
    kDescRight,
    kDescRotate,
    kDescHole,
    kDescRgnImage,
    kDescRgnResType,
    kDescRgnMask,
    kDescRollText,
    kDescKeyCount,
};

namespace VLRenderEngine {

// Finds key='...' as a plain substring (so "mask='" also matches inside
// "rgnmask='") and converts a non-empty value by the key's type into value.
// False, with value unchanged, for a missing key, an empty value or a key
// outside the table.
bool GetDescriptorValue(int key, const std::wstring& descriptor, VLDescriptorValue& value);

// Typed getters: an absent key or an empty value gives 0, empty, false or an
// all-zero rectangle.
int GetDescriptorRes(const std::wstring& descriptor);
std::wstring GetDescriptorResType(const std::wstring& descriptor);
uint32_t GetDescriptorMask(const std::wstring& descriptor);
bool GetDescriptorEncrypt(const std::wstring& descriptor);
std::wstring GetDescriptorFile(const std::wstring& descriptor);
RECT GetDescriptorSource(const std::wstring& descriptor);
RECT GetDescriptorCorner(const std::wstring& descriptor);
double GetDescriptorRotate(const std::wstring& descriptor);
int GetDescriptorRollText(const std::wstring& descriptor);

// Writers: an existing pair of the key is replaced wherever its text occurs,
// else the pair is appended (after one blank when the descriptor is not
// empty).
void SetDescriptorRollText(std::wstring& descriptor, int offset);
void SetDescriptorSource(std::wstring& descriptor, const RECT& source);
void SetDescriptorRotate(std::wstring& descriptor, double angle);

} // namespace VLRenderEngine

} // namespace Velora
