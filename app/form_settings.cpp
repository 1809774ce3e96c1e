// Velquin2.INI and DirList.Txt, both in AppDir.
//
// Velquin2.INI, written at every exit in this order (reading applies the same order):
//   [Form] Left, Top, Height, Width        integers (defaults 271, 136, 480, 696)
//   [DirEdit] Text                         the folder text (default empty); when the text shown
//                                          could not be opened, the last one that was (or the one read)
//   [MarginEdit] Text                      the Margin text, unchecked (default "10")
//   [Force] [Normalize] [IncrMatch] [Colors] Value   "Yes"/"No" (default Yes; only "Yes" reads true)
//   [Subfolders] [Turned] [Gray] [AllFormats] Value  "Yes"/"No" (default No: a missing key is not ticked)
//   [Panel5] Width, [LB] Height, [DBGrid] Height      integers (defaults 233, 97, 120)
// An integer that does not read as one keeps the control's current value.
//
// DirList.Txt: one folder list entry per line, CR LF line ends, in the list's (sorted) order.
#include "app/form1.h"
#include "app/form_view.h"
#include "platform/file_utils.h"
#include "platform/ini_file.h"
#include "platform/text_file.h"

namespace velquin {

void TForm1::ReadSettings() {
  const TIniFile ini(FAppDir + "Velquin2.INI");
  TFormLayout& l = layout_;
  l.Left = ini.ReadInteger("Form", "Left", l.Left);
  l.Top = ini.ReadInteger("Form", "Top", l.Top);
  l.Height = ini.ReadInteger("Form", "Height", l.Height);
  l.Width = ini.ReadInteger("Form", "Width", l.Width);
  Notify(TFormPart::Layout);
  // Kept when the saved Folder cannot be opened now, so that closing does not lose it.
  savedFolderText_ = ini.ReadString("DirEdit", "Text", "");
  ApplyDirEditText(savedFolderText_);
  SetMarginEditText(ini.ReadString("MarginEdit", "Text", "10"));
  force_ = ReadYesNo(ini, "Force", "Value", true);
  normalize_ = ReadYesNo(ini, "Normalize", "Value", true);
  incrMatch_ = ReadYesNo(ini, "IncrMatch", "Value", true);
  colors_ = ReadYesNo(ini, "Colors", "Value", true);
  subfolders_ = ReadYesNo(ini, "Subfolders", "Value", false);
  turned_ = ReadYesNo(ini, "Turned", "Value", false);
  gray_ = ReadYesNo(ini, "Gray", "Value", false);
  allFormats_ = ReadYesNo(ini, "AllFormats", "Value", false);
  Notify(TFormPart::Options);
  l.Panel5Width = ini.ReadInteger("Panel5", "Width", l.Panel5Width);
  l.LBHeight = ini.ReadInteger("LB", "Height", l.LBHeight);
  l.DBGridHeight = ini.ReadInteger("DBGrid", "Height", l.DBGridHeight);
  Notify(TFormPart::Layout);
}

void TForm1::WriteSettings() {
  TIniFile ini(FAppDir + "Velquin2.INI");
  const TFormLayout& l = layout_;
  ini.WriteInteger("Form", "Left", l.Left);
  ini.WriteInteger("Form", "Top", l.Top);
  ini.WriteInteger("Form", "Height", l.Height);
  ini.WriteInteger("Form", "Width", l.Width);
  ini.WriteString("DirEdit", "Text", savedFolderText_);
  ini.WriteString("MarginEdit", "Text", marginEditText_);
  WriteYesNo(ini, "Force", "Value", force_);
  WriteYesNo(ini, "Normalize", "Value", normalize_);
  WriteYesNo(ini, "IncrMatch", "Value", incrMatch_);
  WriteYesNo(ini, "Colors", "Value", colors_);
  WriteYesNo(ini, "Subfolders", "Value", subfolders_);
  WriteYesNo(ini, "Turned", "Value", turned_);
  WriteYesNo(ini, "Gray", "Value", gray_);
  WriteYesNo(ini, "AllFormats", "Value", allFormats_);
  ini.WriteInteger("Panel5", "Width", l.Panel5Width);
  ini.WriteInteger("LB", "Height", l.LBHeight);
  ini.WriteInteger("DBGrid", "Height", l.DBGridHeight);
}

void TForm1::LoadFolderList() {
  lbItems_.clear();
  lbItemIndex_ = -1;
  const std::string path = FAppDir + "DirList.Txt";
  if (FileExists(path)) {
    for (const std::string& line : ReadLines(path)) AddLBItem(line);
  }
  Notify(TFormPart::LB);
}

void TForm1::SaveFolderList() { WriteLinesCRLF(FAppDir + "DirList.Txt", lbItems_); }

}  // namespace velquin
