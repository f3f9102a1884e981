#!/usr/bin/env python3
"""Finds every call in the product code that names a file-system path and
fails on any the allowlist does not give a reason for.

Two kinds of call are found: the system's (create, open, copy, move, delete,
attributes, folders made and removed, a program started or a library loaded
from a path, ...) anywhere in the product folders, and base/'s own helpers
that take a path (read from base/*.h) outside base/. The plain-file unit
(base/PlainFile.h) is how code reaches the work folder and is not counted;
neither are base/ helpers that only work on a path's text or go through that
unit themselves.

    check-by-name-calls.py [source folder]   check the product code
    check-by-name-calls.py --self-test       prove the check finds a new call

The allowlist (scripts/by-name-calls.txt) says how an entry is written.
"""
import os
import re
import sys
import tempfile

PRODUCT_FOLDERS = ("base", "detect", "install", "download", "ui", "app")
SOURCE_SUFFIXES = (".cpp", ".h", ".c")
ALLOWLIST = os.path.join("scripts", "by-name-calls.txt")

# The system's calls that name a path; A and W forms alike.
SYSTEM_CALLS = re.compile(
    r"(?<![\w.>:])(?:::)?(?P<name>"
    r"CreateFile[AW2]?|OpenFile|CopyFile(?:Ex)?[AW]?|MoveFile(?:Ex|WithProgress|Transacted)?[AW]?|"
    r"ReplaceFile[AW]?|DeleteFile(?:Transacted)?[AW]?|RemoveDirectory[AW]?|CreateDirectory(?:Ex)?[AW]?|"
    r"SetFileAttributes[AW]?|GetFileAttributes(?:Ex)?[AW]?|CreateHardLink[AW]?|CreateSymbolicLink[AW]?|"
    r"FindFirstFile(?:Ex)?[AW]?|GetTempFileName[AW]?|SetCurrentDirectory[AW]?|"
    r"CreateProcess(?:AsUser|WithLogon)?[AW]?|ShellExecute(?:Ex)?[AW]?|WinExec|"
    r"LoadLibrary(?:Ex)?[AW]?|GetFileVersionInfo(?:Size)?(?:Ex)?[AW]?|URLDownloadToFile[AW]?|"
    r"PathFileExists[AW]?|SHFileOperation[AW]?|SHCreateDirectory(?:Ex)?[AW]?|SHGetFileInfo[AW]?|"
    r"(?:Get|Write)PrivateProfile(?:String|Int|Section|Struct)[AW]?|"
    r"_wfopen(?:_s)?|_wfreopen|fopen(?:_s)?|freopen|_wopen|_open|_wstat\w*|_wremove|remove|_wrename|rename|"
    r"LoadImage[AW]?"
    r")\s*\(")
# A stream opened by name: a file stream constructed with a path or opened.
STREAMS = re.compile(r"\bstd::(?:w?[io]?fstream)\s+\w+\s*[({](?!\s*[)}])|\bstd::w?[io]?fstream\s*[({](?!\s*[)}])")
# IPersistFile's Save and Load write and read a file by name.
PERSIST_FILE = re.compile(r"(?P<receiver>\w+)\s*(?:\.|->)\s*(?P<name>Save|Load)\s*\(")

# base/ helpers that take a path but only work on its text.
TEXT_ONLY = {
    "GetFullPath", "GetFullPathFileName", "GetFullPathFolder", "GetFileExtension", "GetFileName",
    "GetNormalFullPath", "VLFolderScope::VLFolderScope", "VLFolderScope::IsFolder", "VLFolderScope::Holds",
    "VLFolderScope::HoldsEntry", "VLFolderScope::Below", "NormalizePath", "IsAbsolutePath", "CombinePath",
    "IsFullPath", "IsFullFilePath", "IsSafeRelativePath", "GetParentPath", "GetGrandParentPath",
    "IsSafeEntryName", "IsDeviceName", "FindNoCase",
}
# base/ helpers that take a path and reach the file through the plain-file unit.
PLAIN = {"CreateSizedFile", "DeletePlainTree"}
# Parameters that carry a path, and the types text comes in.
PATH_PARAMETER = re.compile(
    r"(?:std::wstring|std::string|wchar_t\s*\*|char\s*\*|LPCWSTR|LPCSTR|LPWSTR)\s*(?:const\s*)?[&*]?\s*"
    r"(?P<name>\w*(?:path|Path|file|File|folder|Folder|dir|Dir|source|target|link|pattern)\w*)\b")
KEYWORDS = {"if", "for", "while", "switch", "return", "sizeof", "catch", "decltype", "alignof", "static_assert"}


def strip_comments_and_strings(text):
    """The code with comments and the insides of literals blanked, lines kept."""
    out = []
    i, n = 0, len(text)
    while i < n:
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
        elif text[i] == '"' or (text[i] == "'" and not (text[i - 1:i].isdigit() and text[i + 1:i + 2].isalnum())):
            end = i + 1
            while end < n and text[end] not in (text[i], "\n"):
                end += 2 if text[end] == "\\" else 1
            end = min(end + 1, n)
            out.append(text[i] + re.sub(r"[^\n]", " ", text[i + 1:end - 1]) + text[end - 1])
            i = end
            continue
        else:
            out.append(text[i])
            i += 1
            continue
        out.append(re.sub(r"[^\n]", " ", text[i:end]))
        i = end
    return "".join(out)


def definition_name(header):
    """The name of what the text before a '{' opens: a function, a class or a
    table."""
    header = re.sub(r"\btemplate\s*<[^{;]*?>\s*(?=[A-Za-z_])", "", header.strip())
    kind = re.search(r"\b(?:class|struct|union|enum)\s+(?:class\s+)?(\w+)[^()]*$", header)
    if kind:
        return kind.group(1)
    call = re.search(r"([A-Za-z_~][\w:~]*)\s*\(", header)
    if call and call.group(1) not in KEYWORDS:
        return call.group(1)
    table = re.search(r"(\w+)\s*(?:\[[^\]]*\])?\s*=?\s*$", header)
    return table.group(1) if table else "?"


def contexts(code):
    """For each offset's line, the outermost definition holding it: the
    function (Class::Method) a call is made in."""
    names = [""] * (code.count("\n") + 2)
    stack = []  # one entry per open brace: the definition's name, or None
    boundary = 0
    line = 1
    owner = ""
    for i, c in enumerate(code):
        if c == "\n":
            line += 1
            names[line] = owner
        elif c == "{":
            if not any(stack):
                header = code[boundary:i]
                if re.search(r"\bnamespace\b|\bextern\b", header):
                    stack.append(None)
                else:
                    owner = definition_name(header)
                    names[line] = owner
                    stack.append(owner)
            else:
                stack.append("")
            boundary = i + 1
        elif c == "}":
            if stack:
                stack.pop()
            if not any(stack):
                owner = ""
                boundary = i + 1
        elif c == ";" and not any(stack):
            boundary = i + 1
    return names


def line_of(code, offset):
    return code.count("\n", 0, offset) + 1


def base_helpers(root):
    """base/'s functions that take a path, as name -> the class whose object a
    call goes through (None for a free function), from base/*.h."""
    helpers = {}
    handle_first = set()  # names with an overload taking an open VLFile first
    members = set()  # names of base classes' members that are VLFile objects
    folder = os.path.join(root, "base")
    for entry in sorted(os.listdir(folder)):
        if not entry.endswith(".h"):
            continue
        code = strip_comments_and_strings(open(os.path.join(folder, entry), encoding="utf-8").read())
        members.update(re.findall(r"\bVLFile\s+(\w+)\s*;", code))
        if entry == "PlainFile.h":
            continue
        names = contexts(code)
        for match in re.finditer(r"\b(~?[A-Za-z_]\w*)\s*\(([^()]*)\)\s*(?:const\s*)?(?:override\s*)?[;{:]", code):
            name, parameters = match.group(1), match.group(2)
            if name in KEYWORDS:
                continue
            if re.match(r"\s*VLFile\s*&", parameters):
                handle_first.add(name)
            if not PATH_PARAMETER.search(parameters):
                continue
            owner = names[line_of(code, match.start())]
            qualified = owner + "::" + name if owner and owner != name else name
            if owner == name:
                qualified = name + "::" + name
            if qualified not in TEXT_ONLY and qualified not in PLAIN:
                helpers[qualified] = owner or None
    return helpers, handle_first, members


def declared_type(code, offset, name):
    """The type the last declaration of name before offset gives it, or None."""
    declarations = re.findall(r"([A-Za-z_][\w:]*(?:<[^<>;()]*>)?)\s*[&*]?\s*\b(?:\w+\s*,\s*)*" +
                              re.escape(name) + r"\s*(?=[;,)=({\[])", code[:offset])
    types = [kind for kind in declarations if kind not in KEYWORDS and kind not in ("return", "else", "new")]
    return types[-1] if types else None


def declared_as(code, offset, name, cls):
    """Whether the last declaration of name before offset gives it the type
    cls (an object, reference, pointer, or a holder such as a smart pointer)."""
    kind = declared_type(code, offset, name)
    return kind is not None and re.fullmatch(r"(?:\w+::)*" + cls + r"|[\w:]*<\s*" + cls + r"\s*>", kind) is not None


def plain_members(root):
    """(type, member) for each member of the product's own types that is the
    plain-file unit: a call through it is the unit's, whatever its name."""
    found = set()
    for folder in PRODUCT_FOLDERS:
        for top, _, files in os.walk(os.path.join(root, folder)):
            for entry in files:
                if entry.endswith(".h"):
                    code = strip_comments_and_strings(open(os.path.join(top, entry), encoding="utf-8").read())
                    for match in re.finditer(r"\b(?:struct|class)\s+(\w+)[^;{]*\{", code):
                        body = code[match.end():]
                        depth, end = 1, 0
                        while depth and end < len(body):
                            depth += {"{": 1, "}": -1}.get(body[end], 0)
                            end += 1
                        for member in re.findall(r"\bVLPlainFile\s+(\w+)\s*;", body[:end]):
                            found.add((match.group(1), member))
    return found


def helper_calls(code, helpers, handle_first, members, plain):
    """(offset, helper) for each call of a base helper in this code."""
    calls = []
    for qualified, cls in helpers.items():
        name = qualified.split("::")[-1]
        if cls is None:
            for match in re.finditer(r"(?<![\w.>])(?:Velora::)?" + name + r"\s*\(", code):
                argument = code[match.end():].split(",")[0].strip()
                if name in handle_first and (declared_as(code, match.start(), argument, "VLFile") or
                                             re.search(r"(?:\.|->)(?:" + "|".join(members) + r")$", argument)):
                    continue
                calls.append((match.start(), qualified))
        elif name == cls:
            for match in re.finditer(r"\b" + cls + r"\b(?:\s+\w+)?\s*[({](?!\s*[)}])|<\s*" + cls +
                                     r"\s*>\s*\((?!\s*\))", code):
                calls.append((match.start(), qualified))
        else:
            for match in re.finditer(r"(\w+)\s*(?:\.|->)\s*" + name + r"\s*\(", code):
                before = code[:match.start()].rstrip()
                chained = before.endswith((".", "->"))
                receiver = re.search(r"(\w+)\s*(?:\.|->)$", before)
                owner = receiver and declared_type(code, match.start(), receiver.group(1))
                through_plain = owner is not None and (owner.split("::")[-1], match.group(1)) in plain
                if (declared_as(code, match.start(), match.group(1), cls) and not chained) or (
                        cls == "VLFile" and chained and match.group(1) in members and not through_plain):
                    calls.append((match.start(), qualified))
    return calls


def find_calls(root):
    """(path, line, context, call) for every by-name call of the product."""
    helpers, handle_first, members = base_helpers(root)
    plain = plain_members(root)
    found = []
    for folder in PRODUCT_FOLDERS:
        for top, _, files in os.walk(os.path.join(root, folder)):
            for entry in sorted(files):
                if not entry.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(top, entry)
                relative = os.path.relpath(path, root).replace(os.sep, "/")
                code = strip_comments_and_strings(open(path, encoding="utf-8").read())
                names = contexts(code)
                calls = []
                for match in SYSTEM_CALLS.finditer(code):
                    statement = code[match.start():code.find(";", match.start())]
                    if match.group("name").startswith("LoadImage") and "LR_LOADFROMFILE" not in statement:
                        continue
                    calls.append((match.start(), match.group("name")))
                calls += [(match.start(), "std::fstream") for match in STREAMS.finditer(code)]
                calls += [(match.start(), "IPersistFile::" + match.group("name"))
                          for match in PERSIST_FILE.finditer(code)
                          if declared_as(code, match.start(), match.group("receiver"), "IPersistFile")]
                if folder != "base":
                    calls += helper_calls(code, helpers, handle_first, members, plain)
                for offset, call in calls:
                    line = line_of(code, offset)
                    found.append((relative, line, names[line] or "(file scope)", call))
    return sorted(set(found))


def read_allowlist(path):
    """(file, context, call) -> (reason, line number); malformed lines fail."""
    entries = {}
    for number, text in enumerate(open(path, encoding="utf-8"), 1):
        text = text.strip()
        if not text or text.startswith("#"):
            continue
        fields = [field.strip() for field in text.split("|")]
        if len(fields) != 4 or not all(fields):
            sys.exit(f"{path}:{number}: expected 'file | context | call | reason'")
        entries[tuple(fields[:3])] = (fields[3], number)
    return entries


def check(root, allowlist):
    """Prints what is wrong; 0 when every call is listed and every entry used."""
    entries = read_allowlist(allowlist)
    calls = find_calls(root)
    unlisted = [call for call in calls if call[0:1] + call[2:] not in entries]
    used = {call[0:1] + call[2:] for call in calls}
    stale = sorted((number, key) for key, (_, number) in entries.items() if key not in used)
    if unlisted:
        print(f"By-name calls without a reason in {allowlist} (add a line, or reach the file through "
              "base/PlainFile.h):")
        for path, line, context, call in unlisted:
            print(f"  {path}:{line}: {path} | {context} | {call} | <why it is safe>")
    if stale:
        print(f"Entries of {allowlist} that match no call any more (remove them):")
        for number, key in stale:
            print(f"  line {number}: {' | '.join(key)}")
    if not unlisted and not stale:
        print(f"{len(calls)} by-name calls, each with its reason in {allowlist}.")
    return 1 if unlisted or stale else 0


def self_test():
    """A by-name call added to a file of the product, and an entry it does not
    need, are both reported."""
    with tempfile.TemporaryDirectory() as root:
        os.makedirs(os.path.join(root, "base"))
        os.makedirs(os.path.join(root, "app"))
        with open(os.path.join(root, "base", "Helper.h"), "w") as header:
            header.write("bool RemoveByName(const std::wstring& path);\nint Count(int n);\n")
        with open(os.path.join(root, "app", "Snippet.cpp"), "w") as source:
            source.write('namespace V {\nvoid Fetch(const std::wstring& path)\n{\n'
                         '    // DeleteFileW(path) in a comment\n    const char* t = "CopyFileW(";\n'
                         '    HANDLE h = CreateFileW(path.c_str(), 0, 0, 0, 0, 0, 0);\n'
                         '    if (Count(1)) RemoveByName(path);\n}\n}\n')
        expected = [("app/Snippet.cpp", 6, "Fetch", "CreateFileW"), ("app/Snippet.cpp", 7, "Fetch", "RemoveByName")]
        found = find_calls(root)
        allowlist = os.path.join(root, "allow.txt")
        with open(allowlist, "w") as listed:
            listed.write("# header\napp/Snippet.cpp | Fetch | CreateFileW | a reason\n")
        missing = check(root, allowlist)
        with open(allowlist, "a") as listed:
            listed.write("app/Snippet.cpp | Fetch | RemoveByName | a reason\napp/Gone.cpp | Old | DeleteFileW | x\n")
        stale = check(root, allowlist)
        with open(allowlist, "w") as listed:
            listed.write("app/Snippet.cpp | Fetch | CreateFileW | a\napp/Snippet.cpp | Fetch | RemoveByName | b\n")
        passed = check(root, allowlist)
    if found != expected or (missing, stale, passed) != (1, 1, 0):
        print(f"self-test failed: found {found}, results {(missing, stale, passed)}")
        return 1
    print("self-test passed: a new by-name call and a stale entry are reported")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    root = os.path.normpath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    return check(root, os.path.join(root, ALLOWLIST))


if __name__ == "__main__":
    sys.exit(main())
