#include "ui/qtwizarddialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include "ui/TFrmSaveImp.h"
#include "ui/TFrmascii.h"
#include "ui/TFrmdateform.h"
#include "ui/TfrmAdvanced.h"
#include "ui/TfrmDoimp.h"
#include "ui/TfrmGetDatabase.h"
#include "ui/Tfrmfiletype.h"

namespace vesper {

namespace {
QString& lastfolderslot() {
  static QString folder;
  return folder;
}

// A file name pattern as this platform's file chooser reads it: "*.*" would
// pass over names without a dot, so all files are "*".
QString nativepattern(const QString& pattern) {
  return pattern.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
}

// The chooser's filter for a caption such as "Text files (*.txt)": the
// caption stays as it is, the patterns it names are matched as this platform
// reads them (the chooser shows the caption only, see HideNameFilterDetails).
QString namefilter(const QString& caption) {
  const int open = caption.lastIndexOf(QLatin1Char('('));
  const int close = caption.lastIndexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return caption;
  QStringList patterns;
  const QString named = caption.mid(open + 1, close - open - 1);
  for (const QString& p : named.split(QRegularExpression(QStringLiteral("[ ;]+")), Qt::SkipEmptyParts))
    patterns << nativepattern(p);
  return caption + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}
}  // namespace

QString lastfolder() {
  QString& folder = lastfolderslot();
  if (folder.isEmpty() || !QDir(folder).exists()) return QDir::homePath();
  return folder;
}

void setlastfolder(const std::string& chosenFile) {
  lastfolderslot() = QFileInfo(QString::fromStdString(chosenFile)).absolutePath();
}

FileRequest onefilterrequest(FileRequest::Kind kind, const QString& title, const QString& filter,
                             const QString& suffix, bool mustExist) {
  FileRequest request;
  request.kind = kind;
  request.title = title;
  request.filters = QStringList{filter};
  request.selectedFilter = filter;
  request.folder = lastfolder();
  request.defaultSuffix = suffix;
  request.mustExist = mustExist;
  return request;
}

std::string choosefrom(const FileChooser& chooser, QWidget* parent, const FileRequest& request) {
  std::string path = chooser ? chooser(parent, request) : std::string();
  if (!path.empty()) setlastfolder(path);
  return path;
}

std::string choosefilewithdialog(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.title, request.folder);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  QStringList filters;
  for (const QString& caption : request.filters) filters << namefilter(caption);
  dialog.setNameFilters(filters);
  if (!request.selectedFilter.isEmpty()) dialog.selectNameFilter(namefilter(request.selectedFilter));
  if (request.kind == FileRequest::SaveSpec || request.kind == FileRequest::SaveReport) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  }
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  // The pattern of the chosen file type stands in the name box.
  if (!request.pattern.isEmpty()) dialog.selectFile(nativepattern(request.pattern));
  if (dialog.exec() != QDialog::Accepted) return {};
  QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  return QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath()).toStdString();
}

QtWizardDialogs::QtWizardDialogs(ImportState& state, QWidget* parent)
    : state_(state),
      parent_(parent),
      runView_(std::make_unique<QtRunView>()),
      dateAsker_(std::make_unique<QtDateFormatAsker>(parent)) {}

QtWizardDialogs::~QtWizardDialogs() = default;

void QtWizardDialogs::setsavedialog(TFrmSaveImp* dialog) { saveDialog_ = dialog; }

bool QtWizardDialogs::filetype(int& choice) {
  Tfrmfiletype dialog(parent_);
  if (dialog.exec() != QDialog::Accepted) return false;
  choice = dialog.choice();
  return true;
}

std::string QtWizardDialogs::choosesource(int filter, const std::string& pattern) {
  FileRequest request;
  request.kind = FileRequest::OpenSource;
  request.title = QStringLiteral("Open Source File");
  const char* const* filters = sourcefilters();
  for (int i = 0; i < kFileTypeOptions; ++i) request.filters.append(QString::fromLatin1(filters[i]));
  if (filter < 1 || filter > kFileTypeOptions) filter = 1;
  request.selectedFilter = request.filters[filter - 1];
  request.pattern = QString::fromStdString(pattern);
  request.folder = lastfolder();
  request.mustExist = true;
  return choosefrom(choosefile, parent_, request);
}

void QtWizardDialogs::choosedatabase(DatabaseChooser& chooser) {
  TfrmGetDatabase dialog(chooser, parent_);
  dialog.exec();
}

std::string QtWizardDialogs::advanced() {
  TfrmAdvanced dialog(choosefile, parent_);
  dialog.exec();
  return dialog.specfile();
}

void QtWizardDialogs::assignfields(FieldAssignmentModel& model) {
  TFrmascii dialog(model, parent_, wizard_ ? &wizard_->session().guide() : nullptr);
  dateAsker_->setParent(&dialog);
  dialog.exec();
  dateAsker_->setParent(parent_);
}

std::string QtWizardDialogs::savespec() {
  if (saveDialog_) {
    saveDialog_->setchooser(choosefile);
    return saveDialog_->askname();
  }
  TFrmSaveImp dialog(parent_);
  dialog.setchooser(choosefile);
  return dialog.askname();
}

void QtWizardDialogs::runimport(ImportRun& run) {
  if (!wizard_) return;
  TfrmDoimp dialog(run, state_, *wizard_, *runView_, parent_);
  dialog.exec();
}

RunView& QtWizardDialogs::runview() { return *runView_; }

DateFormatAsker& QtWizardDialogs::dateformats() { return *dateAsker_; }

bool QtWizardDialogs::confirmundo(const std::string& question) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Undo last import"), QString::fromStdString(question),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setDefaultButton(QMessageBox::No);  // Enter alone removes nothing
  return box.exec() == QMessageBox::Yes;
}

std::string QtWizardDialogs::savereport() {
  QMessageBox box(QMessageBox::Information, QStringLiteral("Import report"),
                  QStringLiteral("Some records were not imported as they stood. The report lists each of them."),
                  QMessageBox::NoButton, parent_);
  QPushButton* save = box.addButton(QStringLiteral("Save report\u2026"), QMessageBox::AcceptRole);
  box.addButton(QStringLiteral("Close"), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.exec();
  if (box.clickedButton() != save) return {};
  const std::string path = choosefrom(
      choosefile, parent_,
      onefilterrequest(FileRequest::SaveReport, QStringLiteral("Save report"), QStringLiteral("Reports (*.csv)"),
                       QStringLiteral("csv"), false));
  return path;
}

}  // namespace vesper
