#include "base/shortcut.h"

#include <windows.h>

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

namespace base {
namespace {

// Owns one reference to a component object interface.
template <typename Interface>
class ComReference {
 public:
  ComReference() = default;
  ComReference(const ComReference&) = delete;
  ComReference& operator=(const ComReference&) = delete;
  ~ComReference() {
    if (pointer_)
      pointer_->Release();
  }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  // Where a creating call stores the new reference.
  void** Receive() { return reinterpret_cast<void**>(&pointer_); }

 private:
  Interface* pointer_ = nullptr;
};

// A shell link object and its file interface, both released on every
// path.
struct ShellLink {
  ComReference<IShellLinkW> link;
  ComReference<IPersistFile> file;

  bool Create() {
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr,
                                      CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      link.Receive())) &&
           SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive()));
  }
};

// Sets what is given on `link`; false at the first failure.
bool SetLinkFields(IShellLinkW* link,
                   const wchar_t* source,
                   const wchar_t* working_folder,
                   const wchar_t* arguments,
                   const wchar_t* description,
                   const wchar_t* icon,
                   int icon_index) {
  if (source && FAILED(link->SetPath(source)))
    return false;
  if (working_folder && FAILED(link->SetWorkingDirectory(working_folder)))
    return false;
  if (arguments && FAILED(link->SetArguments(arguments)))
    return false;
  if (description && FAILED(link->SetDescription(description)))
    return false;
  if (icon && FAILED(link->SetIconLocation(icon, icon_index)))
    return false;
  return true;
}

// Makes or updates the shortcut `destination`: an update loads the
// existing file first. Only what is given is set; nothing is saved after a
// failed step.
bool WriteShortcut(bool update,
                   const wchar_t* source,
                   const wchar_t* destination,
                   const wchar_t* working_folder,
                   const wchar_t* arguments,
                   const wchar_t* description,
                   const wchar_t* icon,
                   int icon_index) {
  ShellLink shell_link;
  if (!destination || !shell_link.Create())
    return false;
  if (update && FAILED(shell_link.file->Load(destination, STGM_READ)))
    return false;
  if (!SetLinkFields(shell_link.link.get(), source, working_folder, arguments,
                     description, icon, icon_index)) {
    return false;
  }
  return SUCCEEDED(shell_link.file->Save(destination, TRUE));
}

}  // namespace

bool CreateShortcut(const wchar_t* source,
                    const wchar_t* destination,
                    const wchar_t* working_folder,
                    const wchar_t* arguments,
                    const wchar_t* description,
                    const wchar_t* icon,
                    int icon_index) {
  // A new shortcut needs a target.
  return source && WriteShortcut(false, source, destination, working_folder,
                                 arguments, description, icon, icon_index);
}

bool UpdateShortcut(const wchar_t* source,
                    const wchar_t* destination,
                    const wchar_t* working_folder,
                    const wchar_t* arguments,
                    const wchar_t* description,
                    const wchar_t* icon,
                    int icon_index) {
  return WriteShortcut(true, source, destination, working_folder, arguments,
                       description, icon, icon_index);
}

bool FollowShortcut(FilePath* path) {
  ShellLink shell_link;
  if (!shell_link.Create() ||
      FAILED(shell_link.file->Load(path->text().c_str(), STGM_READ)) ||
      FAILED(shell_link.link->Resolve(nullptr, SLR_NO_UI))) {
    return false;
  }
  // A resolved link whose target cannot be read has told us nothing.
  wchar_t target[MAX_PATH] = {};
  if (shell_link.link->GetPath(target, MAX_PATH, nullptr, SLGP_UNCPRIORITY) !=
          S_OK ||
      target[0] == L'\0') {
    return false;
  }
  target[MAX_PATH - 1] = L'\0';
  *path = FilePath(target);
  return true;
}

bool FollowShortcut(std::wstring* path) {
  FilePath file_path(*path);
  if (!FollowShortcut(&file_path))
    return false;
  *path = file_path.text();
  return true;
}

}  // namespace base
