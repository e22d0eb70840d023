#ifndef TEST_SUPPORT_TEST_FILES_H_
#define TEST_SUPPORT_TEST_FILES_H_

#include <string>

namespace test_support {

// A fresh folder under the temporary folder, deleted with everything in it
// when the holder goes away. `name_part` becomes part of the folder's name,
// so tests can put blanks or non-ASCII characters into the path.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::wstring& name_part = L"kelvo");
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  ~ScopedTempDir();

  // The folder's full path, without a trailing backslash.
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// The folder of the running test program (where fixtures are built), with a
// trailing backslash.
std::wstring TestProgramFolder();
// A fixture built beside the test program.
std::wstring FixturePath(const std::wstring& file_name);

bool FileExists(const std::wstring& path);
bool WriteTextFile(const std::wstring& path, const std::string& contents);
// The file's bytes, or an empty string when it cannot be read.
std::string ReadTextFile(const std::wstring& path);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);
bool MakeFolder(const std::wstring& path);
// Deletes a folder and everything in it.
void DeleteTree(const std::wstring& path);

}  // namespace test_support

#endif  // TEST_SUPPORT_TEST_FILES_H_
