#!/usr/bin/env python3
"""Finds every call in the product code that names a file-system path and
fails on any the allowlist does not give a reason for.

Two kinds of call are found, each one by itself (a second call in the same
function is a call of its own):
- the system's and the C and C++ runtimes' calls that act on or ask about what
  a path names (create, open, copy, move, delete, attributes, security, links,
  folders made and removed, a program started or a library loaded from a path,
  profile files, registry hives, streams and std::filesystem), anywhere in the
  product folders;
- calls of the product's own helpers that take a path and reach a file by it:
  a function with a path parameter that makes such a call, itself or through
  the functions it calls. Inside base/, base/'s helpers calling each other are
  not counted (their system calls are); everywhere else each call is.
The plain-file unit (base/PlainFile.h) is how code reaches the work folder:
calls of it are not counted (its own system calls are).

    check-by-name-calls.py [source folder]   check the product code
    check-by-name-calls.py --self-test       prove each family of calls and
                                             each rule is needed

The allowlist (scripts/by-name-calls.txt) says how an entry is written.
"""
import bisect
import contextlib
import io
import os
import re
import sys
import tempfile

PRODUCT_FOLDERS = ("base", "detect", "install", "download", "ui", "app")
SOURCE_SUFFIXES = (".cpp", ".h", ".c")
ALLOWLIST = os.path.join("scripts", "by-name-calls.txt")
PLAIN_UNIT = "base/PlainFile"
# What an unlisted call is printed with; a line still holding it lists nothing.
PLACEHOLDER = "<why it is safe>"

# The calls that name a path, one family a line, narrow and wide forms alike.
# The self-test holds a call of every family and fails when one is dropped.
SYSTEM_FAMILIES = (
    r"CreateFile(?:2|Transacted[AW]|[AW])?", r"OpenFile|_lopen|_lcreat",
    r"CopyFile(?:2|Ex[AW]?|Transacted[AW]?|[AW])?", r"MoveFile(?:Ex|WithProgress|Transacted)?[AW]?",
    r"ReplaceFile[AW]?", r"DeleteFile(?:Transacted)?[AW]?",
    r"CreateDirectory(?:Ex|Transacted)?[AW]?", r"RemoveDirectory(?:Transacted)?[AW]?",
    r"[GS]etFileAttributes(?:Ex|Transacted)?[AW]?", r"GetCompressedFileSize(?:Transacted)?[AW]?",
    r"[GS]etFileSecurity[AW]?", r"(?:Get|Set|TreeSet|TreeReset)NamedSecurityInfo[AW]?",
    r"Create(?:Hard|Symbolic)Link(?:Transacted)?[AW]?",
    r"FindFirstFile(?:Ex|Transacted|Name|NameTransacted)?[AW]?", r"FindFirstStream(?:Transacted)?W",
    r"FindFirstChangeNotification[AW]?", r"GetTempFileName[AW]?", r"SearchPath[AW]?", r"GetBinaryType[AW]?",
    r"Get(?:Long|Short)PathName(?:Transacted)?[AW]?", r"SetCurrentDirectory[AW]?",
    r"(?:Encrypt|Decrypt)File[AW]?|FileEncryptionStatus[AW]?|OpenEncryptedFileRaw[AW]?",
    r"GetVolumeInformation[AW]?", r"GetDiskFreeSpace(?:Ex)?[AW]?", r"GetDriveType[AW]?",
    r"GetVolumePathName[AW]?|SetVolumeLabel[AW]?", r"(?:Set|Delete)VolumeMountPoint[AW]?",
    r"CreateProcess(?:AsUser|WithLogon|WithToken)?[AW]?", r"WinExec|LoadModule", r"ShellExecute(?:Ex)?[AW]?",
    r"LoadLibrary(?:Ex)?[AW]?|LoadPackagedLibrary", r"SetDllDirectory[AW]?|AddDllDirectory",
    r"GetFileVersionInfo(?:Size)?(?:Ex)?[AW]?", r"Ver(?:Find|Install)File[AW]?", r"URLDownloadTo(?:Cache)?File[AW]?",
    r"PathFileExists[AW]?|PathIsDirectory(?:Empty)?[AW]?",
    r"SHFileOperation[AW]?", r"SHCreateDirectory(?:Ex)?[AW]?", r"SHGetFileInfo[AW]?",
    r"SHCreateStreamOnFile(?:Ex|[AW])?", r"SHCreateItemFromParsingName|SHParseDisplayName|ILCreateFromPath[AW]?",
    r"ExtractIcon(?:Ex)?[AW]?|ExtractAssociatedIcon[AW]?", r"LoadCursorFromFile[AW]?",
    r"(?:Add|Remove)FontResource(?:Ex)?[AW]?",
    r"(?:Get|Write)PrivateProfile(?:String|Int|Section|SectionNames|Struct)[AW]?",
    r"Reg(?:Save|Load|Restore|Replace)Key(?:Ex)?[AW]?|RegLoadAppKey[AW]?",
    r"LoadTypeLib(?:Ex)?|StgOpenStorage(?:Ex)?|StgCreate(?:Docfile|StorageEx)|CreateFileMoniker|CoGetObject",
    r"OleLoadPicturePath", r"OleCreate(?:FromFile|LinkToFile)(?:Ex)?", r"BeginUpdateResource[AW]?",
    r"CreateActCtx[AW]?", r"MapFileAndCheckSum[AW]?|MapAndLoad|ImageLoad",
    r"Msi(?:OpenPackage(?:Ex)?|OpenDatabase|InstallProduct|ApplyPatch|GetFileVersion|GetFileHash|VerifyPackage)[AW]?",
    r"_w?fopen(?:_s)?|fopen(?:_s)?", r"_w?freopen(?:_s)?|freopen(?:_s)?", r"_w?fsopen",
    r"_w?open|_w?creat", r"_w?sopen(?:_s)?",
    r"_w?remove|remove", r"_w?unlink|unlink", r"_w?rename|rename",
    r"_w?mkdir|mkdir", r"_w?rmdir|rmdir", r"_w?chdir|chdir",
    r"_w?stat\w*", r"_w?access(?:_s)?", r"_w?chmod", r"_w?utime\w*", r"_w?findfirst\w*",
    r"_w?system|system", r"_w?spawn\w+", r"_w?exec[lv]\w*", r"_w?popen", r"_w?searchenv(?:_s)?",
    r"LoadImage[AW]?",
)
# Stream types that open a file by name, constructed with a path or opened.
STREAM_TYPE = r"std::(?:w?[io]?fstream|w?filebuf|basic_[io]?fstream\s*<[^<>;()]*>|basic_filebuf\s*<[^<>;()]*>)"
# std::filesystem's operations that ask the file system; its path arithmetic does not.
FILESYSTEM_CALLS = (
    "absolute", "canonical", "weakly_canonical", "copy", "copy_file", "copy_symlink", "create_directory",
    "create_directories", "create_hard_link", "create_symlink", "create_directory_symlink", "current_path",
    "exists", "equivalent", "file_size", "hard_link_count", "last_write_time", "permissions", "read_symlink",
    "remove", "remove_all", "rename", "resize_file", "space", "status", "symlink_status", "is_directory",
    "is_regular_file", "is_symlink", "is_empty", "is_other", "is_block_file", "is_character_file", "is_fifo",
    "is_socket", "directory_iterator", "recursive_directory_iterator", "directory_entry", "temp_directory_path",
)

# Parameters that carry a path, and the types text comes in.
PATH_PARAMETER = re.compile(
    r"(?:std::wstring|std::string|wchar_t\s*\*|char\s*\*|LPCWSTR|LPCSTR|LPWSTR)\s*(?:const\s*)?[&*]?\s*"
    r"(?P<name>\w*(?:path|Path|file|File|folder|Folder|dir|Dir|source|target|link|pattern)\w*)\b")
# What comes before a name it declares: its type, and the names declared
# before it in the same list.
DECLARATION = re.compile(r"(?<![\w:])([A-Za-z_][\w:]*(?:<[^<>;()]*>)?)(?![\w:])\s*[&*]?\s*(?:\w+\s*,\s*)*\Z")
KEYWORDS = {"if", "for", "while", "switch", "return", "sizeof", "catch", "decltype", "alignof", "static_assert",
            "new", "delete", "throw", "else", "case", "do", "operator"}


# Comments, and literals with their insides; a quote between digits is a
# digit separator (1'000), not a character literal.
TOKENS = re.compile(r"//[^\n]*|/\*.*?(?:\*/|\Z)|\"(?:\\.|[^\"\\\n])*\"?|(?:(?<![0-9])'|'(?![0-9A-Za-z]))(?:\\.|[^'\\\n])*'?",
                    re.S)


def strip_comments(text):
    """The code with comments blanked, and twice: the insides of literals
    blanked too, and kept as written. Every offset and line is kept."""
    blank = lambda piece: re.sub(r"[^\n]", " ", piece)
    code, kept, last = [], [], 0
    for match in TOKENS.finditer(text):
        piece = match.group()
        code.append(text[last:match.start()])
        kept.append(text[last:match.start()])
        if piece[0] in "\"'":
            inside = piece[1:-1] if len(piece) > 1 and piece[-1] == piece[0] else piece[1:]
            code.append(piece[0] + blank(inside) + piece[1 + len(inside):])
            kept.append(piece)
        else:
            code.append(blank(piece))
            kept.append(blank(piece))
        last = match.end()
    code.append(text[last:])
    kept.append(text[last:])
    return "".join(code), "".join(kept)


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


class Source:
    """One file of the product: its code with comments and literals blanked,
    the definition holding each line (a class's inline method by its own
    name), and the bodies of its functions and inline methods."""

    def __init__(self, root, relative):
        self.relative = relative
        self.folder = relative.split("/")[0]
        text = open(os.path.join(root, relative), encoding="utf-8").read()
        self.code, self.kept = strip_comments(text)
        self.declarations = {}
        self.line_starts = [0] + [m.end() for m in re.finditer("\n", self.code)]
        self.names = [""] * (len(self.line_starts) + 2)
        # (qualified name, parameters, first offset, last offset, whether
        # only this file can call it)
        self.bodies = []
        pending = None
        stack = []  # one entry per open brace: the definition's name, None for a namespace
        boundary, line, owner, start, local = 0, 1, "", 0, False
        # A class's body: how deep it is, where its member's text began, and
        # the inline method being read (name, parameters, first offset).
        level, member, method = 0, 0, None
        for i, c in enumerate(self.code):
            if c == "\n":
                line += 1
                self.names[line] = owner
            elif c == "{":
                if not any(stack):
                    header = self.code[boundary:i]
                    if re.search(r"\bnamespace\b|\bextern\b", header):
                        stack.append(None if re.search(r"\bnamespace\s*\w", header) else False)
                    else:
                        owner = definition_name(header)
                        self.names[line] = owner
                        stack.append(owner)
                        start = i
                        parameters = re.search(re.escape(owner) + r"\s*\(([^()]*(?:\([^()]*\)[^()]*)*)\)", header)
                        pending = parameters.group(1) if parameters else None
                        local = False in stack or re.match(r"\s*static\b", header) is not None
                        if pending is None and re.search(r"\b(?:class|struct)\b", header):
                            level, member = len(stack), i + 1
                elif level and len(stack) == level and method is None:
                    header = self.code[member:i]
                    name = definition_name(header) if "(" in header else None
                    parameters = name and re.search(re.escape(name) + r"\s*\(([^()]*)\)", header)
                    if parameters and not re.search(r"\b(?:class|struct|union|enum)\b", header):
                        method = (stack[-1] + "::" + name, parameters.group(1), i)
                        owner = method[0]
                        self.names[line] = owner
                    stack.append("")
                else:
                    stack.append("")
                boundary = i + 1
            elif c == "}":
                if stack:
                    stack.pop()
                if level and len(stack) == level:
                    if method:
                        self.bodies.append(method + (i, False))
                        owner, method = stack[-1], None
                    member = i + 1
                if not any(stack):
                    if owner and pending is not None:
                        self.bodies.append((owner.replace("Velora::", ""), pending, start, i, local))
                    owner, pending, level = "", None, 0
                    boundary = i + 1
            elif c == ";":
                if not any(stack):
                    boundary = i + 1
                elif level and len(stack) == level:
                    member = i + 1
        self.bodies.sort(key=lambda body: body[2])
        self.body_starts = [body[2] for body in self.bodies]
        # name -> (offset, name, parenthesis) for each time it is followed by '('
        self.named_calls = {}
        for match in re.finditer(r"(?<![\w~])([A-Za-z_]\w*)\s*\(", self.code):
            self.named_calls.setdefault(match.group(1), []).append((match.start(), match.group(1), match.end() - 1))

    def declared_type(self, offset, name):
        """The type the last declaration of name before offset gives it, or None."""
        if name not in self.declarations:
            self.declarations[name] = []
            for use in re.finditer(r"\b" + re.escape(name) + r"\s*(?=[;,)=({\[])", self.code):
                kind = DECLARATION.search(self.code, max(0, use.start() - 200), use.start())
                if kind and kind.group(1) not in KEYWORDS:
                    self.declarations[name].append((use.start(), kind.group(1)))
        before = [kind for start, kind in self.declarations[name] if start < offset]
        return before[-1] if before else None

    def line(self, offset):
        return bisect.bisect_right(self.line_starts, offset)

    def context(self, offset):
        return self.names[self.line(offset)] or "(file scope)"

    def body_at(self, offset):
        """The function whose body holds offset, or None."""
        index = bisect.bisect_right(self.body_starts, offset) - 1
        if index >= 0 and offset < self.bodies[index][3]:
            return self.bodies[index][0]
        return None

    def arguments(self, paren):
        """The text between the parenthesis at paren and its partner, with
        literals as written and blanks collapsed."""
        depth, end = 0, paren
        while end < len(self.code):
            depth += {"(": 1, ")": -1}.get(self.code[end], 0)
            if depth == 0:
                break
            end += 1
        text = re.sub(r"\s+", " ", self.kept[paren + 1:end]).strip()
        return re.sub(r"([(\[]) | (?=[)\],])", r"\1", text)


def type_names(kind):
    """The class names a declared type holds: itself, or what a holder (a
    smart pointer) holds."""
    return set(re.findall(r"(\w+)\s*(?:>|$)", kind or ""))


def top_level_arguments(text):
    """How many arguments a call's argument text holds."""
    depth, count = 0, 1 if text.strip() else 0
    for c in text:
        depth += {"(": 1, "[": 1, "{": 1, ")": -1, "]": -1, "}": -1}.get(c, 0)
        count += c == "," and depth == 0
    return count


def system_pattern(families):
    return re.compile(r"(?<![\w.>:])(?P<name>(?:std::|::)?(?:" + "|".join(families) + r"))\s*(?=\()")


def find_system(source, families):
    """(offset, call, parenthesis) for the system's and the runtime's calls."""
    calls = []
    for match in system_pattern(families).finditer(source.code):
        name = match.group("name").lstrip(":")
        paren = match.end()
        arguments = source.arguments(paren)
        # LoadImage reads a file only when told to; else it names a resource.
        if name.startswith("LoadImage") and "LR_LOADFROMFILE" not in arguments:
            continue
        # The algorithm std::remove(first, last, value) moves elements; the C
        # runtime's remove(path) deletes a file.
        if name in ("remove", "std::remove") and top_level_arguments(arguments) != 1:
            continue
        calls.append((match.start(), name, paren))
    return calls


def find_streams(source):
    """A file stream constructed with a path, or its open()."""
    calls = []
    code = source.code
    for match in re.finditer(r"\b(" + STREAM_TYPE + r")\s*(?:\w+\s*)?(?=[({])", code):
        paren = match.end()
        if code[paren] == "(" and top_level_arguments(source.arguments(paren)):
            calls.append((match.start(), re.sub(r"\s+", "", match.group(1)), paren))
    for match in re.finditer(r"(\w+)\s*(?:\.|->)\s*open\s*(?=\()", code):
        kind = source.declared_type(match.start(), match.group(1))
        if kind and re.search(STREAM_TYPE, kind):
            calls.append((match.start(), re.sub(r"\s+", "", kind.split("<")[0]) + "::open", match.end()))
    return calls


def find_filesystem(source):
    """std::filesystem's operations, however the namespace is spelled."""
    code = source.code
    spellings = [r"std::filesystem::"] + [re.escape(alias) + "::" for alias in re.findall(
        r"\bnamespace\s+(\w+)\s*=\s*std::filesystem\s*;", code)]
    if re.search(r"\busing\s+namespace\s+std::filesystem\s*;", code):
        spellings.append(r"(?<![\w.>:])")
    pattern = r"(?:" + "|".join(spellings) + r")(" + "|".join(FILESYSTEM_CALLS) + r")\b\s*(?:\w+\s*)?(?=[({])"
    calls = []
    for match in re.finditer(pattern, code):
        paren = match.end()
        if code[paren] == "(" and top_level_arguments(source.arguments(paren)) or match.group(1) in (
                "current_path", "temp_directory_path"):
            calls.append((match.start(), "std::filesystem::" + match.group(1), paren))
    return calls


def find_persist_file(source):
    """IPersistFile's Save and Load write and read a file by name."""
    calls = []
    for match in re.finditer(r"(?P<receiver>\w+)\s*(?:\.|->)\s*(?P<name>Save|Load)\s*(?=\()", source.code):
        if "IPersistFile" in type_names(source.declared_type(match.start(), match.group("receiver"))):
            calls.append((match.start(), "IPersistFile::" + match.group("name"), match.end()))
    return calls


# Each finder is a family of its own for the self-test.
FINDERS = {"streams": find_streams, "filesystem": find_filesystem, "persist file": find_persist_file}


class Function:
    """A function of the product, however many overloads it has."""

    def __init__(self, name):
        self.name = name
        self.cls = name.rsplit("::", 1)[0].split("::")[-1] if "::" in name else None
        self.short = name.split("::")[-1]
        self.takes_path = False
        self.handle_first = False  # an overload takes an open VLFile first
        self.files = set()
        self.local = False  # in an unnamed namespace or static: only its file calls it
        self.system = False


def class_relatives(sources):
    """class -> the classes it derives from and that derive from it."""
    relatives = {}
    for source in sources:
        for match in re.finditer(r"\b(?:class|struct)\s+(\w+)\s*(?:final\s*)?:\s*([^{;]*)\{", source.code):
            for parent in re.findall(r"(?:public|protected|private)?\s*(?:virtual\s*)?([\w:]+)\s*(?:<[^{]*>)?\s*,?",
                                     match.group(2)):
                parent = parent.split("::")[-1]
                relatives.setdefault(match.group(1), set()).add(parent)
                relatives.setdefault(parent, set()).add(match.group(1))
    return relatives


def function_table(sources):
    """name -> Function for every function the product defines at top level;
    one in an unnamed namespace or static is its file's own."""
    functions = {}
    for source in sources:
        for name, parameters, _, _, local in source.bodies:
            key = source.relative + ":" + name if local else name
            function = functions.setdefault(key, Function(name))
            function.local = local
            function.files.add(source.relative)
            function.takes_path |= PATH_PARAMETER.search(parameters) is not None
            function.handle_first |= re.match(r"\s*(?:const\s*)?VLFile\s*&", parameters) is not None
    # A constructor defined in its class takes the path the object's methods
    # open later.
    for source in sources:
        if source.relative.endswith(".h"):
            for match in re.finditer(r"\b(?:class|struct)\s+(\w+)[^;{()]*\{", source.code):
                cls = match.group(1)
                for constructor in re.finditer(r"(?<![\w~])" + cls + r"\s*\(([^()]*)\)", source.code[match.end():]):
                    defined = any(function.cls == cls and function.short == cls for function in functions.values())
                    if PATH_PARAMETER.search(constructor.group(1)) and not defined:
                        function = functions.setdefault(cls + "::" + cls, Function(cls + "::" + cls))
                        function.files.add(source.relative)
                        function.takes_path = True
    return functions


def file_members(sources):
    """Names of members that are VLFile objects; (type, member) for the
    members that are the plain-file unit: a call through the latter is the
    unit's, whatever its name; and class -> member -> type for every class."""
    members, plain, fields = set(), set(), {}
    for source in sources:
        members.update(re.findall(r"\bVLFile\s+(\w+)\s*;", source.code))
        for match in re.finditer(r"\b(?:struct|class)\s+(\w+)[^;{]*\{", source.code):
            body, depth, end = source.code[match.end():], 1, 0
            while depth and end < len(body):
                depth += {"{": 1, "}": -1}.get(body[end], 0)
                end += 1
            for member in re.findall(r"\bVLPlainFile\s+(\w+)\s*;", body[:end]):
                plain.add((match.group(1), member))
            for kind, member in re.findall(r"([A-Za-z_][\w:]*(?:<[^;{}()]*>)?)\s*[&*]?\s*(\w+)\s*(?:=[^;]*|\{[^;{}]*\})?;",
                                           body[:end]):
                fields.setdefault(match.group(1), {}).setdefault(member, kind)
    return members, plain, fields


def function_calls(source, by_short, relatives, members, plain, fields):
    """(offset, Function, parenthesis) for each call in this file of one of
    the functions (short name -> those so named): free functions by name,
    methods through an object of their class (or a relative), inside their own
    class, and constructors."""
    code = source.code
    calls = []
    named = [call for short in by_short.keys() & source.named_calls.keys() for call in source.named_calls[short]]
    for offset, short, paren in named:
        owner = source.body_at(offset)
        if owner is None:
            continue
        start = max(0, offset - 200)
        prefix = re.search(r"(?:(\w+)\s*(?:\.|->)\s*|((?:\w+::)+))\Z", code[start:offset])
        receiver, qualifier = prefix.groups() if prefix else (None, None)
        before = code[start:prefix.start() + start if prefix else offset].rstrip()
        chained = receiver is not None and before.endswith((".", "->"))
        for function in by_short[short]:
            if function.local and source.relative not in function.files:
                continue
            if function.name == owner:
                continue
            if function.handle_first:
                argument = source.arguments(paren).split(",")[0].strip()
                if ("VLFile" in type_names(source.declared_type(offset, argument)) or
                        re.search(r"(?:\.|->)(?:" + "|".join(members) + r")$", argument)):
                    continue  # the overload that takes an open file
            if function.cls is None:
                if receiver is not None or (qualifier and qualifier not in ("Velora::", "::")):
                    continue
            elif function.cls == function.short:
                continue  # constructors are found below
            elif receiver is not None:
                if chained:
                    holder = re.search(r"(\w+)\s*(?:\.|->)$", before)
                    holder_type = holder and type_names(source.declared_type(offset, holder.group(1))) or set()
                    kinds = {name for kind in holder_type for name in type_names(fields.get(kind, {}).get(receiver))}
                    if not (function.cls == "VLFile" and receiver in members and
                            not any((kind, receiver) in plain for kind in holder_type)) and \
                            not kinds & ({function.cls} | relatives.get(function.cls, set())):
                        continue
                else:
                    here = owner.split("::")[-2] if "::" in owner else None
                    kinds = {here} if receiver == "this" else type_names(
                        source.declared_type(offset, receiver) or fields.get(here, {}).get(receiver))
                    if not kinds & ({function.cls} | relatives.get(function.cls, set())):
                        continue
            else:
                here = owner.split("::")[-2] if "::" in owner else None
                if qualifier:
                    here = qualifier.rstrip(":").split("::")[-1]
                if here is None or not {here} & ({function.cls} | relatives.get(function.cls, set())):
                    continue
            calls.append((offset if prefix is None else start + prefix.start(), function, paren))
    for function in by_short.get(None, ()):
        if function.cls not in code:
            continue
        pattern = r"\b" + function.cls + r"\b(?:\s+\w+)?\s*\((?!\s*\))|<\s*" + function.cls + r"\s*>\s*\((?!\s*\))"
        for match in re.finditer(pattern, code):
            owner = source.body_at(match.start())
            if owner is not None and owner != function.name:
                calls.append((match.start(), function, match.end() - 1))
    return calls


def find_calls(root, families=SYSTEM_FAMILIES, finders=FINDERS, per_call=True):
    """(path, line, context, call) for every by-name call of the product; the
    call is its function and its arguments as written, numbered when the same
    call is made again in the same function."""
    sources = []
    for folder in PRODUCT_FOLDERS:
        for top, _, files in os.walk(os.path.join(root, folder)):
            for entry in sorted(files):
                if entry.endswith(SOURCE_SUFFIXES):
                    sources.append(Source(root, os.path.relpath(os.path.join(top, entry), root).replace(os.sep, "/")))
    functions = function_table(sources)
    relatives = class_relatives(sources)
    members, plain, fields = file_members(sources)
    defined = {(path, function.name): function for function in functions.values() for path in function.files}
    direct = []
    for source in sources:
        for offset, name, paren in find_system(source, families) + [
                call for finder in finders.values() for call in finder(source)]:
            direct.append((source, offset, name, paren))
            owner = defined.get((source.relative, source.body_at(offset)))
            if owner:
                owner.system = True
    # A function reaches a file by name when it makes a system call or calls
    # one that does; one that also takes a path is a helper whose calls count.
    # The plain-file unit is how the work folder is reached: what goes through
    # it does not reach a file by name.
    unit = {function for function in functions.values() if any(f.startswith(PLAIN_UNIT) for f in function.files)}

    def with_constructors(found):
        # An object made with a path reaches it when one of its methods does.
        classes = {function.cls for function in found}
        return found | {function for function in functions.values()
                        if function.cls in classes and function.short == function.cls} - unit

    reaching = with_constructors({function for function in functions.values() if function.system} - unit)
    frontier = set(reaching)
    product = []
    while frontier:
        callers = set()
        by_short = {}
        for function in sorted(frontier, key=lambda function: function.name):
            by_short.setdefault(function.short, []).append(function)
            if function.cls == function.short:
                by_short.setdefault(None, []).append(function)  # constructors
        for source in sources:
            for offset, function, paren in function_calls(source, by_short, relatives, members, plain, fields):
                product.append((source, offset, function, paren))
                callers.add(defined.get((source.relative, source.body_at(offset))))
        frontier = with_constructors(callers - reaching - unit - {None}) - reaching
        reaching |= frontier
    found = list(direct)
    helped = {}  # a virtual call matches each class's function: one call, its own class's first
    for source, offset, function, paren in product:
        home = sorted(function.files)[0]
        if (function.takes_path and not source.relative.startswith(PLAIN_UNIT) and
                not (home.startswith("base/") and source.folder == "base")):
            here = (source.body_at(offset) or "").split("::")[-2:-1]
            chosen = helped.get((source.relative, offset))
            if chosen is None or ([function.cls] == here and [chosen[2].cls] != here):
                helped[(source.relative, offset)] = (source, offset, function, paren)
    found += [(source, offset, function.name, paren) for source, offset, function, paren in helped.values()]
    calls = []
    seen = {}
    for source, offset, name, paren in sorted(found, key=lambda call: (call[0].relative, call[1])):
        context = source.context(offset)
        text = name + "(" + source.arguments(paren) + ")" if per_call else name
        key = (source.relative, context, text)
        seen[key] = seen.get(key, 0) + 1
        if per_call and seen[key] > 1:
            text += f" #{seen[key]}"
        calls.append((source.relative, source.line(offset), context, text))
    return sorted(set(calls))


def read_allowlist(path):
    """(file, context, call) -> (reason, line number); malformed lines fail.
    A call's arguments may hold '|', so the reason is what follows the last."""
    entries = {}
    for number, text in enumerate(open(path, encoding="utf-8"), 1):
        text = text.strip()
        if not text or text.startswith("#"):
            continue
        fields = [field.strip() for field in text.split("|")]
        fields = fields[:2] + [" | ".join(fields[2:-1]), fields[-1]] if len(fields) >= 4 else fields
        if len(fields) != 4 or not all(fields):
            sys.exit(f"{path}:{number}: expected 'file | context | call | reason'")
        if fields[3] != PLACEHOLDER:
            entries[tuple(fields[:3])] = (fields[3], number)
    return entries


def check(root, allowlist, **options):
    """Prints what is wrong; 0 when every call is listed and every entry used."""
    entries = read_allowlist(allowlist)
    calls = find_calls(root, **options)
    unlisted = [call for call in calls if call[0:1] + call[2:] not in entries]
    used = {call[0:1] + call[2:] for call in calls}
    stale = sorted((number, key) for key, (_, number) in entries.items() if key not in used)
    if unlisted:
        print(f"By-name calls without a reason in {allowlist} (add a line, or reach the file through "
              "base/PlainFile.h):")
        for path, line, context, call in unlisted:
            print(f"  {path}:{line}: {path} | {context} | {call} | {PLACEHOLDER}")
    if stale:
        print(f"Entries of {allowlist} that match no call any more (remove them):")
        for number, key in stale:
            print(f"  line {number}: {' | '.join(key)}")
    if not unlisted and not stale:
        print(f"{len(calls)} by-name calls, each with its reason in {allowlist}.")
    return 1 if unlisted or stale else 0


# One call of every family, as the self-test's product code writes them: each
# line makes exactly one by-name call.
SAMPLE_CALLS = """
CreateFileW(p, 0, 0, 0, 0, 0, 0);
CreateFileA(n, 0, 0, 0, 0, 0, 0);
CreateFile2(p, 0, 0, 0, 0);
OpenFile(n, &o, 0);
_lcreat(n, 0);
CopyFileW(p, q, 0);
CopyFile2(p, q, 0);
CopyFileExA(n, m, 0, 0, 0, 0);
MoveFileExW(p, q, 0);
ReplaceFileW(p, q, 0, 0, 0, 0);
DeleteFileW(p);
DeleteFileA(n);
CreateDirectoryW(p, 0);
RemoveDirectoryA(n);
SetFileAttributesW(p, 0);
GetCompressedFileSizeW(p, 0);
SetFileSecurityW(p, 0, 0);
SetNamedSecurityInfoW(p, SE_FILE_OBJECT, 0, 0, 0, 0, 0);
CreateHardLinkW(p, q, 0);
FindFirstFileExW(p, 0, &d, 0, 0, 0);
FindFirstStreamW(p, 0, &d, 0);
FindFirstChangeNotificationW(p, 0, 0);
GetTempFileNameW(p, L"x", 0, b);
SearchPathW(0, p, 0, 0, b, 0);
GetBinaryTypeW(p, &t);
GetLongPathNameW(p, b, 0);
SetCurrentDirectoryW(p);
EncryptFileW(p);
GetVolumeInformationW(p, 0, 0, 0, 0, 0, 0, 0);
GetDiskFreeSpaceExW(p, 0, 0, 0);
SetVolumeMountPointW(p, q);
GetDriveTypeW(p);
GetVolumePathNameW(p, b, 0);
CreateProcessW(0, c, 0, 0, 0, 0, 0, 0, &s, &i);
WinExec(n, 0);
ShellExecuteW(0, 0, p, 0, 0, 0);
ShellExecuteExA(&e);
LoadLibraryExW(p, 0, 0);
SetDllDirectoryW(p);
GetFileVersionInfoSizeW(p, 0);
VerInstallFileW(0, p, q, 0, 0, 0, 0, 0);
URLDownloadToFileW(0, u, p, 0, 0);
PathFileExistsW(p);
SHFileOperationW(&f);
SHCreateDirectoryExW(0, p, 0);
SHGetFileInfoW(p, 0, &i, 0, 0);
SHCreateStreamOnFileEx(p, 0, 0, 0, 0, &s);
SHParseDisplayName(p, 0, &l, 0, 0);
ExtractIconW(0, p, 0);
LoadCursorFromFileW(p);
AddFontResourceExW(p, 0, 0);
WritePrivateProfileStringW(s, k, v, p);
GetPrivateProfileIntA(s, k, 0, n);
RegSaveKeyW(k, p, 0);
RegLoadKeyW(k, s, p);
LoadTypeLib(p, &t);
OleLoadPicturePath(p, 0, 0, 0, i, &o);
OleCreateFromFile(c, p, i, 0, 0, s, 0, &o);
BeginUpdateResourceW(p, FALSE);
CreateActCtxW(&a);
MapFileAndCheckSumW(p, &h, &c);
MsiOpenPackageW(p, &h);
_wfopen(p, L"rb");
std::fopen(n, "rb");
_wfreopen(p, L"rb", f);
_wfsopen(p, L"rb", 0);
_wopen(p, 0);
_wsopen_s(&h, p, 0, 0, 0);
std::remove(n);
_wunlink(p);
std::rename(n, m);
_wmkdir(p);
_wrmdir(p);
_wchdir(p);
_wstat64(p, &st);
_waccess(p, 0);
_wchmod(p, 0);
_wutime(p, 0);
_wfindfirst(p, &d);
_wsystem(c);
_wspawnl(0, p, p, 0);
_wexecv(p, a);
_wpopen(c, L"r");
_wsearchenv(p, L"PATH", b);
LoadImageW(0, p, 0, 0, 0, LR_LOADFROMFILE);
std::ofstream out(p);
std::wifstream in(n, std::ios::binary);
std::fstream both; both.open(p);
std::filesystem::remove_all(p);
fs::copy_file(p, q);
IPersistFile* persist = 0; persist->Save(p, TRUE);
"""
# Calls that name no path: none may be found.
SAMPLE_OTHERS = """
v.erase(std::remove(v.begin(), v.end(), x), v.end()); LoadImageW(0, MAKEINTRESOURCEW(1), 0, 0, 0, 0);
std::ofstream none; session->status(); task.DeleteFileW(p); VLOther::DeleteFileW(p); fs::path(p).filename();
"""


def self_test():
    """Each family of calls, the helpers' callers and the per-call rule are
    shown needed: dropping one makes a case the check must report go unseen."""
    failures = []
    with tempfile.TemporaryDirectory() as root, contextlib.redirect_stdout(io.StringIO()):
        for folder in PRODUCT_FOLDERS:
            os.makedirs(os.path.join(root, folder))

        def write(path, text):
            with open(os.path.join(root, path), "w") as out:
                out.write(text)
        files = {
            "base/Helper.h": "bool RemoveByName(const std::wstring& path);\nint Count(int n);\n"
                             "bool Plain(const std::wstring& path);\n",
            "base/Helper.cpp": "namespace V {\nbool RemoveByName(const std::wstring& path)\n{\n"
                               "    return DeleteFileW(path.c_str());\n}\nbool Plain(const std::wstring& path)\n"
                               "{\n    return OpenPlain(path);\n}\nint Count(int n)\n{\n    return RemoveByName(L\"x\");\n}\n}\n",
            "base/PlainFile.h": "bool OpenPlain(const std::wstring& path);\n",
            "base/PlainFile.cpp": "bool OpenPlain(const std::wstring& path)\n{\n    return CreateFileW(path.c_str());\n}\n",
            "base/Thing.h": "class VLThing {\npublic:\n    explicit VLThing(const std::wstring& path) : path_(path) {}\n"
                            "    bool Load();\n    bool Open(const std::wstring& path);\n};\n",
            "base/Thing.cpp": "bool VLThing::Load()\n{\n    return LoadLibraryW(path_.c_str()) != 0;\n}\n"
                              "bool VLThing::Open(const std::wstring& path)\n{\n    return DeleteFileW(path.c_str());\n}\n",
            "install/Ini.h": "bool WriteIni(const std::wstring& file, const std::wstring& value);\n",
            "install/Ini.cpp": "namespace {\nbool Write(const std::wstring& file, const wchar_t* value)\n{\n"
                               "    return WritePrivateProfileStringW(L\"s\", L\"k\", value, file.c_str());\n}\n}\n"
                               "bool WriteIni(const std::wstring& file, const std::wstring& value)\n{\n"
                               "    return Write(file, value.c_str());\n}\n",
            "install/Script.cpp": "void Run(const std::wstring& file)\n{\n    WriteIni(file, L\"1\");\n"
                                  "    Plain(file);\n    OpenPlain(file);\n    VLOther other;\n    other.Open(file);\n}\n",
            "app/Snippet.cpp": 'namespace V {\nvoid Fetch(const std::wstring& path)\n{\n'
                               '    // DeleteFileW(path) in a comment\n    const char* t = "CopyFileW(";\n'
                               '    HANDLE h = CreateFileW(path.c_str(), 0, 0, 0, 0, 0, 0);\n'
                               '    if (Count(1)) RemoveByName(path);\n    RemoveByName(path);\n'
                               '    RemoveByName(path + L".old");\n    VLThing thing(path);\n    thing.Open(path);\n}\n}\n',
        }
        for path, text in files.items():
            write(path, text)
        expected = [
            ("app/Snippet.cpp", 6, "Fetch", "CreateFileW(path.c_str(), 0, 0, 0, 0, 0, 0)"),
            ("app/Snippet.cpp", 7, "Fetch", "RemoveByName(path)"),
            ("app/Snippet.cpp", 8, "Fetch", "RemoveByName(path) #2"),
            ("app/Snippet.cpp", 9, "Fetch", 'RemoveByName(path + L".old")'),
            ("app/Snippet.cpp", 10, "Fetch", "VLThing::VLThing(path)"),
            ("app/Snippet.cpp", 11, "Fetch", "VLThing::Open(path)"),
            ("base/Helper.cpp", 4, "RemoveByName", "DeleteFileW(path.c_str())"),
            ("base/PlainFile.cpp", 3, "OpenPlain", "CreateFileW(path.c_str())"),
            ("base/Thing.cpp", 3, "VLThing::Load", "LoadLibraryW(path_.c_str())"),
            ("base/Thing.cpp", 7, "VLThing::Open", "DeleteFileW(path.c_str())"),
            ("install/Ini.cpp", 4, "Write", 'WritePrivateProfileStringW(L"s", L"k", value, file.c_str())'),
            ("install/Ini.cpp", 9, "WriteIni", "Write(file, value.c_str())"),
            ("install/Script.cpp", 3, "Run", 'WriteIni(file, L"1")'),
        ]
        found = find_calls(root)
        if found != expected:
            failures.append(f"found {found}, expected {expected}")
        # The allowlist: an unlisted call and a stale entry both fail.
        allowlist = os.path.join(root, "allow.txt")
        listed = "".join(f"{path} | {context} | {call} | a reason\n" for path, _, context, call in expected)
        write("allow.txt", "# header\n" + listed)
        if check(root, allowlist) != 0:
            failures.append("a complete allowlist fails")
        write("allow.txt", listed.replace("RemoveByName(path) #2", "RemoveByName(path) #3"))
        if check(root, allowlist) != 1:
            failures.append("a second call of a listed function and a stale entry pass")
        write("allow.txt", listed.replace("(path) #2 | a reason", "(path) #2 | " + PLACEHOLDER))
        if check(root, allowlist) != 1:
            failures.append("a call listed without a reason passes")
        # Without the per-call rule the second call would hide behind the first.
        if len({call[0:1] + call[2:] for call in find_calls(root, per_call=False)}) == len(expected):
            failures.append("the per-call rule is not needed by the self-test")

        # Every family is found, and dropping any one leaves its call unseen.
        write("app/Snippet.cpp", "namespace fs = std::filesystem;\nvoid Sample()\n{" + SAMPLE_CALLS + "}\n")
        write("app/Other.cpp", "void Other()\n{\n" + SAMPLE_OTHERS + "}\n")
        def sample_lines(**options):
            return [line for path, line, _, _ in find_calls(root, **options) if path == "app/Snippet.cpp"]
        everything = find_calls(root)
        if any(path == "app/Other.cpp" for path, _, _, _ in everything):
            failures.append(f"calls that name no path were found: {[c for c in everything if c[0] == 'app/Other.cpp']}")
        lines = SAMPLE_CALLS.strip().split("\n")
        if sample_lines() != list(range(4, 4 + len(lines))):
            failures.append("sample calls unseen: " + ", ".join(
                lines[number - 4] for number in range(4, 4 + len(lines)) if number not in sample_lines()))
        for number, family in enumerate(SYSTEM_FAMILIES):
            if sample_lines(families=SYSTEM_FAMILIES[:number] + SYSTEM_FAMILIES[number + 1:]) == sample_lines():
                failures.append(f"no sample call needs the family {family}")
        for name in FINDERS:
            if sample_lines(finders={other: finder for other, finder in FINDERS.items() if other != name}) == \
                    sample_lines():
                failures.append(f"no sample call needs the {name} finder")
    if failures:
        print("self-test failed:\n  " + "\n  ".join(failures))
        return 1
    print(f"self-test passed: {len(SYSTEM_FAMILIES)} families of system calls and {len(FINDERS)} more finders "
          "each needed, helpers' callers and each call found, stale entries reported")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    root = os.path.normpath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    return check(root, os.path.join(root, ALLOWLIST))


if __name__ == "__main__":
    sys.exit(main())
