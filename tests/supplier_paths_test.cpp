#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "runtime/help_mode.h"
#include "runtime/language.h"
#include "test_support.h"

namespace {

using testsupport::Bitmap;
using testsupport::DumpLine;

class SupplierAndPaths : public testsupport::FormTest {
 protected:
  SupplierAndPaths() {
    form_->window.onFileDialog = [this](const ui::FileDialogRequest& r) {
      requests_.push_back(r);
      std::optional<std::string> answer;
      if (!answers_.empty()) {
        answer = answers_.front();
        answers_.erase(answers_.begin());
      }
      return answer;
    };
    for (int i = 0; i < 3; ++i) form_->TextPath[i]->SetText("");
  }

  std::string Path(int i) const { return form_->TextPath[i]->Text(); }
  // Clicks the row's button; the dialog answers with the given path or cancels.
  const ui::FileDialogRequest& Choose(int i, std::optional<std::string> answer) {
    answers_.push_back(std::move(answer));
    const size_t before = requests_.size();
    form_->CommandPath_Click(i);
    EXPECT_EQ(requests_.size(), before + 1);
    return requests_.back();
  }

  std::vector<ui::FileDialogRequest> requests_;
  std::vector<std::optional<std::string>> answers_;
};

TEST_F(SupplierAndPaths, TheLogoFollowsTheSelectionAndAMissingOneKeepsTheOld) {
  tree_.Write("Korvex/Start/Start_Logo.bmp", Bitmap());
  tree_.Write("Korvex/Start/START_ACMELOGO.BMP", Bitmap());  // found whatever its case
  ui::Control& list = *form_->ComboSupplier;
  for (const char* entry : {"**Tarvel & Co**", "ACME", "Ghost"}) list.AddItem(entry);

  list.SetListIndex(0);
  EXPECT_EQ(form_->ImageLogo->GetPicture().source, "C:\\Korvex\\Start\\Start_Logo.bmp");
  list.SetListIndex(1);
  EXPECT_EQ(form_->ImageLogo->GetPicture().source, "C:\\Korvex\\Start\\Start_ACMELogo.bmp");
  EXPECT_TRUE(boxes_.boxes.empty());

  list.SetListIndex(2);  // no Start_GhostLogo.bmp
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].title, "Unexpected error");
  EXPECT_NE(boxes_.boxes[0].text.find("File not found"), std::string::npos);
  EXPECT_EQ(form_->ImageLogo->GetPicture().source, "C:\\Korvex\\Start\\Start_ACMELogo.bmp");
  EXPECT_EQ(list.ListIndex(), 2);

  // In help mode a pick shows the help only; the list keeps the pick.
  rt::HelpMode = true;
  rt::HelpTexts[11] = "Supplier";
  list.SetListIndex(0);
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  EXPECT_EQ(boxes_.boxes[1].title, "Info:");
  EXPECT_EQ(boxes_.boxes[1].text, "Supplier");
  EXPECT_EQ(list.ListIndex(), 0);
  EXPECT_EQ(form_->ImageLogo->GetPicture().source, "C:\\Korvex\\Start\\Start_ACMELogo.bmp");
}

TEST_F(SupplierAndPaths, TheDialogRemembersTheFolderAndTakesOnlyExistingFiles) {
  tree_.Write("Data/Korvex.mdb", "db");
  tree_.Write("Data/Helptext.mdb", "db");
  // First use: the caption as file name, no folder of its own.
  const ui::FileDialogRequest first = Choose(0, "C:\\Data\\Korvex.mdb");
  EXPECT_EQ(first.fileName, "Korvex.mdb");
  EXPECT_EQ(first.initDir, "");
  EXPECT_EQ(first.title, "Pfad f\u00fcr Korvex.mdb ausw\u00e4hlen");
  EXPECT_EQ(first.filter, "Datenbank (*.mdb)|*.mdb");
  EXPECT_EQ(Path(0), "C:\\Data\\Korvex.mdb");
  EXPECT_EQ(LastDatabaseFolder, "C:\\Data\\");

  // The folder is offered in the next row; a cancel leaves the bare caption,
  // which has no folder, and the box as it was.
  const ui::FileDialogRequest second = Choose(1, std::nullopt);
  EXPECT_EQ(second.fileName, "Alarmdefinition.mdb");
  EXPECT_EQ(second.initDir, "C:\\Data\\");
  EXPECT_EQ(Path(1), "");
  EXPECT_EQ(LastDatabaseFolder, "");
  // The row's own file decides the folder again.
  EXPECT_EQ(Choose(0, std::nullopt).initDir, "C:\\Data\\");

  // A folder, a missing file and an empty answer change no box.
  form_->TextPath[2]->SetText("C:\\Old\\Helptext.mdb");
  Choose(2, "C:\\Data");
  EXPECT_EQ(LastDatabaseFolder, "C:\\");
  Choose(2, "C:\\Data\\Missing.mdb");
  Choose(2, "");
  EXPECT_EQ(Path(2), "C:\\Old\\Helptext.mdb");
  Choose(2, "c:\\data\\HELPTEXT.MDB");  // the path layer matches the case
  EXPECT_EQ(Path(2), "c:\\data\\HELPTEXT.MDB");
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(SupplierAndPaths, ASaveAndRestoreCopyOffersItsProgramFolder) {
  tree_.Write("SAR/program/korvex.mdb", "db");
  SarFolder = "C:\\SAR";
  form_->DirCtl->SetFileName("Earlier.mdb");
  const ui::FileDialogRequest empty = Choose(1, std::nullopt);
  EXPECT_EQ(empty.initDir, "C:\\SAR\\Program");
  EXPECT_EQ(empty.fileName, "Earlier.mdb");  // kept from the use before
  form_->TextPath[0]->SetText("C:\\SAR\\program\\korvex.mdb");
  const ui::FileDialogRequest filled = Choose(0, std::nullopt);
  EXPECT_EQ(filled.initDir, "C:\\SAR\\program\\");
  EXPECT_EQ(filled.fileName, "Korvex.mdb");
}

TEST_F(SupplierAndPaths, FiltersByVisualisationAndHelpInsteadOfTheDialog) {
  form_->VisuVersion = 2;
  EXPECT_EQ(Choose(0, std::nullopt).filter, "Datenbank (*.vws)|*.vws");
  EXPECT_EQ(Choose(1, std::nullopt).filter, "Datenbank (*.mdb)|*.mdb");
  EXPECT_EQ(Choose(2, std::nullopt).filter, "Datenbank (*.mdb)|*.mdb");
  form_->VisuVersion = 1;
  EXPECT_EQ(Choose(0, std::nullopt).filter, "Datenbank (*.mdb)|*.mdb");

  rt::HelpTexts[21] = "Database<CRLF>paths";
  form_->TextPath_Click(1);
  EXPECT_TRUE(boxes_.boxes.empty());
  rt::HelpMode = true;
  const size_t dialogs = requests_.size();
  form_->CommandPath_Click(1);
  form_->TextPath_Click(2);
  EXPECT_EQ(requests_.size(), dialogs);
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  for (const auto& box : boxes_.boxes) EXPECT_EQ(box.text, "Database\r\npaths");
}

}  // namespace
