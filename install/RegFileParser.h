// The text level of ".reg" reading: a tokenizer that finds key lines, value
// names and value data, and a checker that keeps names and data paired.
#pragma once

#include <string>

namespace Velora {

// Receives ranges [begin, end) of the text from the tokenizer.
class VLResultProcessor {
public:
    virtual ~VLResultProcessor() = default;
    virtual void OnKey(const wchar_t* begin, const wchar_t* end) = 0;
    virtual void OnValueName(const wchar_t* begin, const wchar_t* end) = 0;
    virtual void OnValueData(const wchar_t* begin, const wchar_t* end) = 0;
};

// Receives keys and complete values.
class VLRegFileObserver {
public:
    virtual ~VLRegFileObserver() = default;
    virtual void OnKey(const wchar_t* begin, const wchar_t* end) = 0;
    virtual void OnValue(const wchar_t* nameBegin, const wchar_t* nameEnd,
                         const wchar_t* dataBegin, const wchar_t* dataEnd) = 0;
};

// Passes a value on only once its data has followed its name. A key or a name
// that arrives while a name waits, or data without a name, is malformed text.
class VLRegFileParser : public VLResultProcessor {
public:
    explicit VLRegFileParser(VLRegFileObserver& target) : target_(target) {}
    void OnKey(const wchar_t* begin, const wchar_t* end) override;
    void OnValueName(const wchar_t* begin, const wchar_t* end) override;
    void OnValueData(const wchar_t* begin, const wchar_t* end) override;

private:
    void RequireNoPendingName() const;

    VLRegFileObserver& target_;
    const wchar_t* nameBegin_ = nullptr;
    const wchar_t* nameEnd_ = nullptr;
    bool dataFound_ = true;
};

// Lines end with CR LF only. Calls the processor for every key line ("[" in
// the first column, "]" in the last), value name and value data; hexadecimal
// and DWORD data ending with a backslash continues on the following lines.
void TokenizeRegText(const std::wstring& text, VLResultProcessor& processor);
// Index of the first "=" outside double quotes, npos when none.
size_t FindUnquotedEquals(const wchar_t* begin, const wchar_t* end);

} // namespace Velora
