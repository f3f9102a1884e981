#include "base/RegValue.h"

#include <cstring>

namespace Velora {

namespace {

void CopyInto(VLBuffer<unsigned char>& out, const void* bytes, uint32_t count)
{
    if (out.capacity < count) out.SetCapacity(count);
    if (count) std::memcpy(out.data, bytes, count);
    out.size = count;
}

std::wstring UnitsOf(const unsigned char* bytes, uint32_t count)
{
    std::wstring units(count / 2, L'\0');
    if (!units.empty()) std::memcpy(&units[0], bytes, units.size() * 2);
    return units;
}

} // namespace

VLRegValue::VLRegValue(const VLRegValue& other)
    : type(other.type), name(other.name), dwordValue(other.dwordValue),
      multiStrings(other.multiStrings), text(other.text), qwordValue(other.qwordValue),
      keptBytes(other.keptBytes), deleteValue(other.deleteValue)
{
    data.Assign(other.data);
}

VLRegValue& VLRegValue::operator=(const VLRegValue& other)
{
    if (this == &other) return *this;
    data.Assign(other.data);
    type = other.type;
    name = other.name;
    dwordValue = other.dwordValue;
    multiStrings = other.multiStrings;
    text = other.text;
    qwordValue = other.qwordValue;
    keptBytes = other.keptBytes;
    deleteValue = other.deleteValue;
    return *this;
}

bool VLRegValue::SetRawData(const unsigned char* bytes, uint32_t count)
{
    if (!bytes && count) return true;
    FillTyped(bytes, count);
    CopyInto(data, bytes, count);
    keptBytes = true;
    return true;
}

void VLRegValue::FillTyped(const unsigned char* bytes, uint32_t count)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        text = UnitsOf(bytes, count);
        // Programs may store text without its terminator; only a terminator
        // that is there is dropped, so no character of such a value is lost.
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        return;
    case REG_DWORD:
        if (count == 4) {
            dwordValue = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                         uint32_t(bytes[3]) << 24;
        }
        return;
    case REG_DWORD_BIG_ENDIAN:
        if (count == 4) {
            dwordValue = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
                         uint32_t(bytes[3]);
        }
        return;
    case REG_MULTI_SZ: {
        multiStrings.clear();
        const std::wstring units = UnitsOf(bytes, count);
        std::wstring current;
        for (size_t i = 0; i < units.size(); ++i) {
            if (units[i] != L'\0') {
                current += units[i];
                continue;
            }
            // The final zero closes the list; a list stored with one
            // terminator fewer still keeps its last string.
            if (i + 1 == units.size()) {
                if (!current.empty()) multiStrings.push_back(current);
                break;
            }
            multiStrings.push_back(current);
            current.clear();
        }
        return;
    }
    case REG_QWORD:
        qwordValue = 0;
        for (uint32_t i = 0; i < count && i < 8; ++i) qwordValue |= uint64_t(bytes[i]) << (8 * i);
        return;
    default:
        return;
    }
}

bool VLRegValue::SaysWhatKeptBytesSay() const
{
    VLRegValue kept(type);
    kept.dwordValue = dwordValue;
    kept.FillTyped(data.data, data.size);
    return kept.text == text && kept.multiStrings == multiStrings && kept.dwordValue == dwordValue &&
           kept.qwordValue == qwordValue;
}

bool VLRegValue::GetRawData(VLBuffer<unsigned char>& out) const
{
    // A record changed since its bytes were kept (keywords expanded in its
    // text) is written as it now says.
    if (keptBytes && SaysWhatKeptBytesSay()) {
        CopyInto(out, data.data, data.size);
        return true;
    }
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        CopyInto(out, text.c_str(), uint32_t(text.size() + 1) * 2);
        return true;
    case REG_DWORD: {
        const unsigned char bytes[4] = {uint8_t(dwordValue), uint8_t(dwordValue >> 8),
                                        uint8_t(dwordValue >> 16), uint8_t(dwordValue >> 24)};
        CopyInto(out, bytes, 4);
        return true;
    }
    case REG_DWORD_BIG_ENDIAN: {
        const unsigned char bytes[4] = {uint8_t(dwordValue >> 24), uint8_t(dwordValue >> 16),
                                        uint8_t(dwordValue >> 8), uint8_t(dwordValue)};
        CopyInto(out, bytes, 4);
        return true;
    }
    case REG_QWORD: {
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(qwordValue >> (8 * i));
        CopyInto(out, bytes, 8);
        return true;
    }
    case REG_MULTI_SZ: {
        std::wstring units;
        for (const std::wstring& piece : multiStrings) {
            units += piece;
            units += L'\0';
        }
        units += L'\0';
        CopyInto(out, units.data(), uint32_t(units.size()) * 2);
        return true;
    }
    default:
        CopyInto(out, data.data, data.size);
        return true;
    }
}

} // namespace Velora
