// What the windows open through the shell: folders in explorer, files in
// notepad, links in the user's default browser or mail program.
#pragma once
#include <string>

// `path` in the ANSI code page, trimmed and made absolute; nothing when it
// names no folder.
void OpenFolder(const std::string& path);
// `path` in the ANSI code page, trimmed; nothing when it names no file.
void OpenInNotepad(const std::string& path);
// A URL or a mailto: link, UTF-8, opened by whatever the user has set up for it.
void OpenLink(const std::string& link);
