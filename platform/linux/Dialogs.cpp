#include "Dialogs.h"

#include "ProgramRunner.h"

#include <cstdio>
#include <utility>

namespace {

// A positional argument that starts with "-" would be read as an option.
std::string positional(const std::string& text) {
    return !text.empty() && text[0] == '-' ? " " + text : text;
}

// Menu texts may carry "&" before the access key; "&&" is a plain "&".
std::string withoutAccessMarks(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        else if (text[i] == '&')
            continue;
        plain += text[i];
    }
    return plain;
}

void flattenInto(const std::vector<PopupItem>& items, const std::string& prefix,
                 std::vector<Dialogs::MenuEntry>& entries) {
    for (const PopupItem& item : items) {
        if (item.separator || (item.text.empty() && item.submenu.empty()))
            continue;
        std::string text = prefix + withoutAccessMarks(item.text);
        if (!item.submenu.empty()) {
            flattenInto(item.submenu, text + " > ", entries);
            continue;
        }
        if (item.checked)
            text = "\u2713 " + text;
        entries.push_back(Dialogs::MenuEntry{item.id, std::move(text)});
    }
}

std::string stripLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

} // namespace

Dialogs::Dialogs(std::string searchPath) : searchPath_(std::move(searchPath)) {}

Dialogs::~Dialogs() {
    reap();
}

bool Dialogs::available() const {
    return !findProgram("zenity", searchPath_).empty() || !findProgram("kdialog", searchPath_).empty();
}

Dialogs::Tool Dialogs::findTool(std::string& path) {
    path = findProgram("zenity", searchPath_);
    if (!path.empty())
        return Tool::Zenity;
    path = findProgram("kdialog", searchPath_);
    if (!path.empty())
        return Tool::KDialog;
    if (!toldMissing_) {
        std::fprintf(stderr, "quorix-updater: no dialog program found: install zenity or kdialog\n");
        toldMissing_ = true;
    }
    return Tool::None;
}

std::vector<std::string> Dialogs::fileArguments(Tool tool, const FileDialogRequest& request) {
    std::string start;
    if (!request.initialDirectory.empty()) {
        start = request.initialDirectory;
        if (start.back() != '/')
            start += '/';
    }
    start += request.initialFile;
    std::vector<std::string> arguments;
    if (tool == Tool::Zenity) {
        arguments = {"--file-selection", "--title=" + request.title};
        if (!start.empty())
            arguments.push_back("--filename=" + start);
        for (const auto& [entry, pattern] : request.filters) {
            std::string patterns = pattern; // "*.a;*.b" lists patterns, zenity wants spaces
            for (char& c : patterns)
                if (c == ';')
                    c = ' ';
            arguments.push_back("--file-filter=" + entry + " | " + patterns);
        }
    } else if (tool == Tool::KDialog) {
        std::string filters;
        for (const auto& [entry, pattern] : request.filters) {
            std::string patterns = pattern;
            for (char& c : patterns)
                if (c == ';')
                    c = ' ';
            if (!filters.empty())
                filters += '\n';
            filters += patterns + "|" + entry;
        }
        arguments = {"--title", request.title, "--getopenfilename",
                     positional(start.empty() ? "." : start)};
        if (!filters.empty())
            arguments.push_back(positional(filters));
    }
    return arguments;
}

std::vector<std::string> Dialogs::yesNoArguments(Tool tool, const std::string& caption,
                                                 const std::string& text) {
    if (tool == Tool::Zenity)
        return {"--question", "--no-markup", "--title=" + caption, "--text=" + text};
    if (tool == Tool::KDialog)
        return {"--title", caption, "--yesno", positional(text)};
    return {};
}

std::vector<Dialogs::MenuEntry> Dialogs::flattenMenu(const std::vector<PopupItem>& items) {
    std::vector<MenuEntry> entries;
    flattenInto(items, "", entries);
    return entries;
}

std::vector<std::string> Dialogs::menuArguments(Tool tool, const std::vector<MenuEntry>& entries) {
    // Answers come back as tags "1".."n" (positions), never as the program's ids,
    // so no id can be mistaken for an option.
    std::vector<std::string> arguments;
    if (tool == Tool::Zenity) {
        arguments = {"--list",     "--title=Menu",     "--text=Choose an action", "--column=Tag",
                     "--column=Action", "--hide-column=1", "--print-column=1",    "--hide-header"};
        for (size_t i = 0; i < entries.size(); ++i) {
            arguments.push_back(std::to_string(i + 1));
            arguments.push_back(positional(entries[i].text));
        }
    } else if (tool == Tool::KDialog) {
        arguments = {"--title", "Menu", "--menu", "Choose an action"};
        for (size_t i = 0; i < entries.size(); ++i) {
            arguments.push_back(std::to_string(i + 1));
            arguments.push_back(positional(entries[i].text));
        }
    }
    return arguments;
}

std::optional<std::string> Dialogs::openFile(const FileDialogRequest& request) {
    const std::unique_ptr<RunningProgram> dialog = startOpenFile(request);
    if (!dialog) return std::nullopt;
    return fileAnswer(dialog->wait());
}

std::unique_ptr<RunningProgram> Dialogs::startOpenFile(const FileDialogRequest& request) {
    std::string path;
    const Tool tool = findTool(path);
    if (tool == Tool::None) return nullptr;
    auto dialog = std::make_unique<RunningProgram>();
    if (!dialog->start(path, fileArguments(tool, request))) return nullptr;
    return dialog;
}

std::optional<std::string> Dialogs::fileAnswer(const ProgramResult& result) {
    if (!result.started || result.exitCode != 0 || result.truncated)
        return std::nullopt;
    std::string chosen = stripLineEnd(result.output);
    // One absolute path on one line, or nothing.
    if (chosen.empty() || chosen[0] != '/' || chosen.find('\n') != std::string::npos)
        return std::nullopt;
    return chosen;
}

bool Dialogs::askYesNo(const std::string& caption, const std::string& text) {
    std::string path;
    const Tool tool = findTool(path);
    if (tool == Tool::None)
        return false;
    const ProgramResult result = runProgram(path, yesNoArguments(tool, caption, text));
    return result.started && result.exitCode == 0;
}

int Dialogs::popupMenu(const std::vector<PopupItem>& items) {
    const std::vector<MenuEntry> entries = flattenMenu(items);
    if (entries.empty())
        return 0;
    std::string path;
    const Tool tool = findTool(path);
    if (tool == Tool::None)
        return 0;
    const ProgramResult result = runProgram(path, menuArguments(tool, entries));
    if (!result.started || result.exitCode != 0 || result.truncated)
        return 0;
    // zenity may print the chosen tag twice ("1|1") with some versions.
    std::string tag = stripLineEnd(result.output);
    tag = tag.substr(0, tag.find('|'));
    if (tag.empty() || tag.size() > 6 || tag.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const size_t position = std::stoul(tag);
    return position >= 1 && position <= entries.size() ? entries[position - 1].id : 0;
}

bool Dialogs::openUrl(const std::string& address) {
    reap();
    // An address starting with "-" would be taken as an option of the opener.
    if (address.empty() || address[0] == '-' || address.find('\n') != std::string::npos)
        return false;
    const std::string opener = findProgram("xdg-open", searchPath_);
    if (opener.empty()) {
        std::fprintf(stderr, "quorix-updater: xdg-open not found: cannot open %s\n", address.c_str());
        return false;
    }
    const pid_t pid = startProgram(opener, {address});
    if (pid < 0)
        return false;
    children_.push_back(pid);
    return true;
}

void Dialogs::reap() {
    reapChildren(children_);
}
