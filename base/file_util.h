#ifndef BASE_FILE_UTIL_H_
#define BASE_FILE_UTIL_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/file_path.h"

// File-system operations: lexical functions on path strings, existence and
// attribute queries, deleting, moving and copying files and folder trees,
// creating folders and temporary files and folders, reading and writing
// whole files, comparing contents, and small helpers over C streams.
//
// Free functions without state of their own; any thread may call them, and
// concurrent calls on the same files are the callers' affair. Operations
// answer false, -1 or an empty result on failure and then leave their
// outputs unchanged. Paths that an operation would copy into a buffer of
// MAX_PATH (260) units are refused whole, never cut. Most operations take a
// FilePath; many have a second form that takes the path as a wide string.
// The creation-time queries, which use platform types, are in
// base/file_util_win.h.

namespace base {

// Lexical functions (no file-system access).

// Appends the components of `path` to `components` (not cleared first): a
// leading separator is a component of its own, runs between separators are
// components (empty ones too), and a trailing separator leaves an empty last
// component. A null vector fails a check.
void SplitPathComponents(const FilePath& path,
                         std::vector<std::wstring>* components);
void SplitPathComponents(const std::wstring& path,
                         std::vector<std::wstring>* components);
bool HasTrailingSeparator(const FilePath& path);
bool HasTrailingSeparator(const std::wstring& path);
// Removes trailing separators while more than one unit remains ("C:\"
// becomes "C:"; "\" stays).
void DropTrailingSeparators(std::wstring* path);
// Appends a backslash unless `path` ends with a separator, then `piece`. A
// null `path` fails a check.
void AppendPathPiece(std::wstring* path, const std::wstring& piece);
// The last component's extension without its dot, or empty.
std::wstring ExtensionWithoutDot(const FilePath& path);
std::wstring ExtensionWithoutDot(const std::wstring& path);
// The last component.
std::wstring FileNameOf(const std::wstring& path);
// The last component cut before its last dot.
std::wstring NameWithoutExtension(const std::wstring& path);
// Inserts `suffix` before the extension of the last component (at the end
// when it has none).
void InsertSuffixBeforeExtension(FilePath* path, const std::wstring& suffix);
void InsertSuffixBeforeExtension(std::wstring* path,
                                 const std::wstring& suffix);
// Replaces the last component's extension; `extension` may carry its dot,
// and an empty one or "." removes the extension.
void SetExtension(FilePath* path, const std::wstring& extension);
void SetExtension(std::wstring* path, const std::wstring& extension);
// Drops trailing separators if there are any, else the last component.
void TrimLastComponent(std::wstring* path);
// Replaces the path by its parent unless that is ".".
void GoUpOneDirectory(std::wstring* path);
// Replaces the path by its parent, or clears it when the parent is "." or
// the path itself (a root).
void GoUpOneDirectoryOrClear(std::wstring* path);

// Queries and path resolution.

bool DoesPathExist(const FilePath& path);
bool DoesPathExist(const std::wstring& path);
// Whether the file or folder can be opened to write into.
bool IsWritablePath(const FilePath& path);
bool IsWritablePath(const std::wstring& path);
bool IsExistingDirectory(const FilePath& path);
bool IsExistingDirectory(const std::wstring& path);
// Appends a backslash to an existing folder's path that lacks one. False
// when the path is not an existing folder.
bool EnsureTrailingSeparator(FilePath* dir);
// The folder part of `path`, written as the caller wrote it ("a\b.txt"
// gives "a", "..\x" gives ".."), without trailing separators. When the
// platform resolves the path to a file name that the text does not end in
// ("a\.."), the fully qualified folder. Empty on failure, including a path
// that needs MAX_PATH units or more when qualified.
std::wstring DirectoryOfPath(const std::wstring& path);
// Replaces the path by its fully qualified form (shorter than MAX_PATH).
bool MakeAbsolute(FilePath* path);
bool MakeAbsolute(std::wstring* path);
// Whether `child` lies below `parent`: compared without case once both are
// absolute, the child is longer and has a backslash right after the
// parent's text.
bool IsInside(const FilePath& parent, const FilePath& child);

struct FileAttributesInfo {
  int64_t byte_size = 0;
  bool is_folder = false;
};
bool QueryFileInfo(const FilePath& path, FileAttributesInfo* info);
bool QueryFileInfo(const std::wstring& path, FileAttributesInfo* info);
bool QueryFileSize(const FilePath& path, int64_t* size);
bool QueryFileSize(const std::wstring& path, int64_t* size);

// The process's current folder, without trailing separators.
bool GetWorkingFolder(FilePath* folder);
bool GetWorkingFolder(std::wstring* folder);
bool SetWorkingFolder(const FilePath& folder);
bool SetWorkingFolder(const std::wstring& folder);

// Changing the file system.

// Deletes what `path` names; its last component may hold the wildcards '*'
// and '?'. Recursive: folders go with everything in them (links to folders
// are removed, never followed). Not recursive: files, and empty folders
// named without wildcards; a folder that is not empty fails and keeps
// every file. A path that names nothing counts as deleted. False when
// anything could not be deleted.
bool DeletePath(const FilePath& path, bool recursive);
bool DeletePath(const std::wstring& path, bool recursive);
// Moves or renames a file or folder, replacing an existing file; a folder
// that cannot be moved (another volume) is copied and then deleted.
bool MovePath(const FilePath& from, const FilePath& to);
bool MovePath(const std::wstring& from, const std::wstring& to);
// Copies one file, replacing an existing one.
bool CopyOneFile(const FilePath& from, const FilePath& to);
bool CopyOneFile(const std::wstring& from, const std::wstring& to);
// Recursive: a copy of the file or folder tree `from`. Not recursive: the
// folder `to` (created if missing) receives the files directly inside the
// folder `from`.
bool CopyTree(const FilePath& from, const FilePath& to, bool recursive);
bool CopyTree(const std::wstring& from, const std::wstring& to, bool recursive);
// CopyTree with recursion, then, only if the copy succeeded, DeletePath of
// the source with recursion.
bool CopyThenDelete(const FilePath& from, const FilePath& to);
// Copies what `from` names (its last component may hold wildcards). A
// single item goes into `to` when that is an existing folder, else becomes
// `to`; wildcard matches go into the folder `to`, created if missing.
// Recursive copies take folders with everything in them; otherwise
// wildcard matches are files only and a folder named alone is copied
// without its contents. False when anything could not be copied, and when
// a name without wildcards names nothing.
bool ShellCopyItems(const FilePath& from, const FilePath& to, bool recursive);
// Moves `source` (its last component may hold wildcards) to `target` with
// the shell, so that the moved item takes the security settings of its new
// folder. False when the source names nothing.
bool MoveResettingSecurity(const FilePath& source, const FilePath& target);
// Creates the folder and every missing parent; true if it exists already.
bool MakeDirectory(const FilePath& path);
bool MakeDirectory(const std::wstring& path);

// The temporary folder, without trailing separators.
bool GetTempFolder(FilePath* path);
bool GetTempFolder(std::wstring* path);
bool GetSharedMemoryTempFolder(FilePath* path);
// Creates an empty file with a fresh name in the temporary folder (or in
// `folder`) and answers its long name.
bool MakeTempFileName(FilePath* path);
bool MakeTempFileName(std::wstring* path);
bool MakeTempFileNameIn(const std::wstring& folder, std::wstring* temp_file);
// A new temporary file opened for reading and writing ("w+"), or null. The
// caller closes it (CloseStdioFile).
FILE* CreateAndOpenTempFile(FilePath* path);
FILE* CreateAndOpenSharedMemoryTempFile(FilePath* path);
// Creates a new folder in the temporary folder, named `prefix` and a
// pseudo-random number; up to 50 names are tried.
bool MakeNewTempFolder(const std::wstring& prefix, FilePath* new_folder);
bool MakeNewTempFolder(const std::wstring& prefix, std::wstring* new_folder);

// Contents.

// Appends the file's bytes to `contents` (not cleared first). False when
// the file cannot be opened or a read fails.
bool ReadWholeFile(const FilePath& path, std::string* contents);
bool ReadWholeFile(const std::wstring& path, std::string* contents);
// Reads the first `size` bytes into `data`: `size`, or -1 when the file is
// shorter, cannot be opened, or `size` is negative (then nothing is
// touched).
int ReadExactly(const FilePath& path, char* data, int size);
int ReadExactly(const std::wstring& path, char* data, int size);
// Replaces the file's contents with `size` bytes of `data` (creating it):
// `size`, or -1 with a logged warning. A negative size answers -1 and
// leaves the file untouched.
int WriteWholeFile(const FilePath& path, const char* data, int size);
int WriteWholeFile(const std::wstring& path, const char* data, int size);
// The same, appending to the file (created if missing).
int AppendBytesToFile(const FilePath& path, const char* data, int size);
// Whether both files can be read and hold the same bytes.
bool SameContents(const FilePath& a, const FilePath& b);
bool SameContents(const std::wstring& a, const std::wstring& b);

// Opens a C stream with the runtime's secure open; `mode` as for fopen
// ("rb", "w+"). Null on failure.
FILE* OpenStdioFile(const FilePath& path, const char* mode);
FILE* OpenStdioFile(const std::wstring& path, const char* mode);
// `path` in the system's code page.
FILE* OpenStdioFile(const std::string& path, const char* mode);
// True for a null stream; else whether the close succeeded.
bool CloseStdioFile(FILE* file);
// Cuts the stream's file at the stream's current position.
bool TruncateAtPosition(FILE* file);

}  // namespace base

#endif  // BASE_FILE_UTIL_H_
