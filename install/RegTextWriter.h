// Writing key records as ".reg" text into memory, and joining two ".reg"
// texts into one.
#pragma once

#include "base/Buffer.h"
#include "install/RegKey.h"
#include "install/TextWriter.h"

#include <memory>
#include <string>

namespace Velora {

// Narrow texts of the writer's errors, in the GBK code page.
extern const char kRegWriterCreateFailed[]; // 创建对象失败
extern const char kRegValueSaveFailed[]; // 保存注册表值出错

class VLRegTextWriter {
public:
    // Resets out to the byte-order bytes FF FE and writes the header line
    // "Windows Registry Editor Version 5.00"; no empty line follows it.
    // Throws std::runtime_error kRegWriterCreateFailed when it cannot allocate.
    VLRegTextWriter(VLBuffer<unsigned char>& out, const std::wstring& lineEnd);
    // One key with its values and an empty line, then its subkeys; a key
    // flagged for deletion is its key line alone. A REG_DWORD_BIG_ENDIAN
    // value throws std::invalid_argument kRegValueSaveFailed.
    void WriteKey(const VLRegKey& key);

private:
    std::unique_ptr<VLTextWriter> writer_;
};

// Rewrites accumulated as one ".reg" text: its own keys, then those of
// newText. Keys in both appear twice; nothing is merged key by key.
void MergeRegText(const VLBuffer<unsigned char>& newText, VLBuffer<unsigned char>& accumulated);

} // namespace Velora
