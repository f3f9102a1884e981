// seed-list-saver <path> <saved event> <seeds>: another process saving a seed
// list of that many entries at path again and again, to be killed during a
// save. Signals the event after each save; ends with 1 when a save fails.
#include "download/XmlDocument.h"

#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv)
{
    using namespace Velora;
    if (argc != 4) return 2;
    VLXmlDocument document;
    TiXmlElement* seeds = AddElement(&document, L"Seeds");
    for (int i = _wtoi(argv[3]); i > 0; --i) {
        TiXmlElement* seed = AddElement(seeds, L"Seed");
        AddElementWithText(seed, L"gameId", std::to_wstring(40000 + i));
        AddElementWithText(seed, L"resume", L"C:\\work\\package-" + std::to_wstring(i) + L".exe.vll");
    }
    HANDLE saved = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!saved) return 1;
    for (;;) {
        if (!document.Save(argv[1])) return 1;
        SetEvent(saved);
    }
}
