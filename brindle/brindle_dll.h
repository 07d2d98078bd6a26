// The dialog classes the Brindle module exports to compiled callers. Text
// getters copy into the caller's buffer, which must hold 260 bytes; they leave
// it untouched when no dialog object is held or its engine was never created.
// Order of use: Init, the filters (file dialog), DoModal, then the getters;
// Init again starts over with a fresh dialog object.
#pragma once

#define BRINDLE_API __attribute__((visibility("default")))

namespace pellary::brindle {
class CFileDlg;
class CBrowseDlg;
}  // namespace pellary::brindle

class BRINDLE_API CFileDll {
 public:
  CFileDll();
  virtual ~CFileDll();
  CFileDll(const CFileDll&) = delete;
  CFileDll& operator=(const CFileDll&) = delete;

  void Init(int open, const char* title, const char* buttonTitle, const char* fileName, long flags);
  void AddFilterWildcard(const char* type, const char* wildcard);
  void AddFilterUID(const char* type, unsigned long uid0, unsigned long uid1, unsigned long uid2);
  void GetPathName(char* buffer);
  void GetFileName(char* buffer);
  void GetFileExt(char* buffer);
  void GetFileType(unsigned long* uid0, unsigned long* uid1, unsigned long* uid2);
  // 0 cancelled, 1 an existing file, 2 a new name (save); 0 before Init.
  virtual int DoModal();
  // The module string with that identifier (empty when there is none).
  void GetResource(int id, char* buffer);

 private:
  pellary::brindle::CFileDlg* dialog_ = nullptr;
};

class BRINDLE_API CBrowseDll {
 public:
  CBrowseDll();
  virtual ~CBrowseDll();
  CBrowseDll(const CBrowseDll&) = delete;
  CBrowseDll& operator=(const CBrowseDll&) = delete;

  void Init(const char* title, const char* buttonTitle, const char* text, const char* folderName);
  void GetFolderName(char* buffer);
  // 0 cancelled, 1 a folder accepted; 0 before Init.
  virtual int DoModal();

 private:
  pellary::brindle::CBrowseDlg* dialog_ = nullptr;
};

// C entries for callers that load the module at run time.
extern "C" {
BRINDLE_API CFileDll* BrindleCreateFileDll();
BRINDLE_API void BrindleDestroyFileDll(CFileDll* object);
BRINDLE_API CBrowseDll* BrindleCreateBrowseDll();
BRINDLE_API void BrindleDestroyBrowseDll(CBrowseDll* object);
}
