#include "brindle/brindle_dll.h"

#include <cstring>
#include <optional>
#include <string>

#include "brindle/browse_dlg.h"
#include "brindle/file_dlg.h"
#include "brindle/resources.h"

namespace {

const char* text(const char* s) { return s ? s : ""; }

void copyOut(char* buffer, const std::optional<std::string>& s) {
  if (!buffer || !s) return;
  const size_t n = std::min<size_t>(s->size(), 259);
  std::memcpy(buffer, s->data(), n);
  buffer[n] = '\0';
}

}  // namespace

CFileDll::CFileDll() = default;
CFileDll::~CFileDll() { delete dialog_; }

void CFileDll::Init(int open, const char* title, const char* buttonTitle, const char* fileName, long flags) {
  delete dialog_;
  dialog_ = nullptr;
  if (!pellary::brindle::widgetsAvailable()) return;
  dialog_ = new pellary::brindle::CFileDlg();
  dialog_->Init(open, text(title), text(buttonTitle), text(fileName), int32_t(flags));
}

void CFileDll::AddFilterWildcard(const char* type, const char* wildcard) {
  if (dialog_) dialog_->AddFilterWildcard(text(type), text(wildcard));
}

void CFileDll::AddFilterUID(const char* type, unsigned long uid0, unsigned long uid1, unsigned long uid2) {
  if (dialog_) dialog_->AddFilterUID(text(type), uint32_t(uid0), uint32_t(uid1), uint32_t(uid2));
}

void CFileDll::GetPathName(char* buffer) {
  if (dialog_) copyOut(buffer, dialog_->pathName());
}
void CFileDll::GetFileName(char* buffer) {
  if (dialog_) copyOut(buffer, dialog_->fileName());
}
void CFileDll::GetFileExt(char* buffer) {
  if (dialog_) copyOut(buffer, dialog_->fileExt());
}

void CFileDll::GetFileType(unsigned long* uid0, unsigned long* uid1, unsigned long* uid2) {
  uint32_t u[3];
  if (!dialog_ || !dialog_->fileType(u[0], u[1], u[2])) return;
  if (uid0) *uid0 = u[0];
  if (uid1) *uid1 = u[1];
  if (uid2) *uid2 = u[2];
}

int CFileDll::DoModal() { return dialog_ ? dialog_->DoModal() : 0; }

void CFileDll::GetResource(int id, char* buffer) {
  if (!buffer) return;
  const std::string s = pellary::brindle::moduleString(id);
  std::memcpy(buffer, s.c_str(), s.size() + 1);
}

CBrowseDll::CBrowseDll() = default;
CBrowseDll::~CBrowseDll() { delete dialog_; }

void CBrowseDll::Init(const char* title, const char* buttonTitle, const char* t, const char* folderName) {
  delete dialog_;
  dialog_ = nullptr;
  if (!pellary::brindle::widgetsAvailable()) return;
  dialog_ = new pellary::brindle::CBrowseDlg();
  dialog_->Init(text(title), text(buttonTitle), text(t), text(folderName));
}

void CBrowseDll::GetFolderName(char* buffer) {
  if (dialog_) copyOut(buffer, dialog_->folderName());
}

int CBrowseDll::DoModal() { return dialog_ ? dialog_->DoModal() : 0; }

extern "C" {
CFileDll* BrindleCreateFileDll() { return new CFileDll(); }
void BrindleDestroyFileDll(CFileDll* object) { delete object; }
CBrowseDll* BrindleCreateBrowseDll() { return new CBrowseDll(); }
void BrindleDestroyBrowseDll(CBrowseDll* object) { delete object; }
}
