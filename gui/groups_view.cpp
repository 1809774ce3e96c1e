#include "gui/groups_view.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSet>
#include <QVBoxLayout>

#include "app/form1.h"
#include "gui/groups_thumbnails.h"
#include "platform/date_time.h"
#include "platform/text_utils.h"

namespace velquin {
namespace {

constexpr int kGroupRole = Qt::UserRole;
constexpr int kMemberRole = Qt::UserRole + 1;

QString FromName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }

// Asks before all groups lose their rest: the count, the size and the keepers, and, when some pairs
// were found only through Gray or Turned, whether those count too. Returns false when the user declines.
bool ConfirmAll(QWidget* parent, TGroupsForm& groups, bool& includeGrayOrTurned) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Trash the rest of all groups"));
  auto* column = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(&dialog);
  text->setReadOnly(true);
  column->addWidget(text);
  auto* include = new QCheckBox(QStringLiteral("Include pairs found only through Gray or Turned"), &dialog);
  include->setVisible(groups.HasGrayOrTurnedOnlyPairs());
  column->addWidget(include);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &dialog);
  column->addWidget(buttons);
  const auto show = [&] {
    const std::string confirm = groups.ConfirmAllText(include->isChecked());
    text->setPlainText(confirm.empty() ? QStringLiteral("Nothing to move.") : FromName(confirm));
    buttons->button(QDialogButtonBox::Yes)->setEnabled(!confirm.empty());
  };
  QObject::connect(include, &QCheckBox::toggled, &dialog, show);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  show();
  dialog.resize(560, 360);
  if (dialog.exec() != QDialog::Accepted) return false;
  includeGrayOrTurned = include->isChecked();
  return true;
}

}  // namespace

TGroupsView::TGroupsView(TForm1& form, QWidget* parent) : QWidget(parent), form_(form), groups_(form) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(1, 1, 1, 1);
  GroupTree = new QTreeWidget(this);
  GroupTree->setColumnCount(ColumnCount);
  GroupTree->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Pixels"), QStringLiteral("Bytes"),
                              QStringLiteral("Format"), QStringLiteral("Date"), QString()});
  GroupTree->setUniformRowHeights(true);
  // The names take the room; the other columns get fixed widths (sizing them to their contents would
  // read every row of a large folder).
  QHeaderView* header = GroupTree->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(ColumnFile, QHeaderView::Stretch);
  const int digit = GroupTree->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  for (const auto& [column, digits] : {std::pair{ColumnPixels, 11},
                                       {ColumnBytes, 11},
                                       {ColumnFormat, 6},
                                       {ColumnDate, 18},
                                       {ColumnNote, 24}}) {
    header->setSectionResizeMode(column, QHeaderView::Interactive);
    header->resizeSection(column, digits * digit);
  }
  GroupTree->setSelectionMode(QAbstractItemView::SingleSelection);
  column->addWidget(GroupTree, 1);
  Thumbnails = new TGroupsThumbnails(this);
  column->addWidget(Thumbnails);
  auto* buttons = new QHBoxLayout;
  KeepButton = new QPushButton(QStringLiteral("Keep this one"), this);
  TrashGroupButton = new QPushButton(QStringLiteral("Trash the rest"), this);
  TrashAllButton = new QPushButton(QStringLiteral("Trash the rest of all groups"), this);
  buttons->addWidget(KeepButton);
  buttons->addWidget(TrashGroupButton);
  buttons->addStretch(1);
  buttons->addWidget(TrashAllButton);
  column->addLayout(buttons);

  followTimer_.setSingleShot(true);
  followTimer_.setInterval(kFollowMs);
  connect(&followTimer_, &QTimer::timeout, this, [this] { Follow(); });
  matchesSource_.SetDataSet(&form_.MatchesTable);
  matchesSource_.OnDataChange = [this](std::string_view) { MatchesChanged(); };

  connect(GroupTree, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  connect(KeepButton, &QPushButton::clicked, this, [this] { KeepClicked(); });
  connect(TrashGroupButton, &QPushButton::clicked, this, [this] { TrashGroupClicked(); });
  connect(TrashAllButton, &QPushButton::clicked, this, [this] { TrashAllClicked(); });
  SelectionChanged();
}

TGroupsView::~TGroupsView() {
  matchesSource_.OnDataChange = nullptr;
  matchesSource_.SetDataSet(nullptr);
}

void TGroupsView::Refresh() {
  if (groups_.Trashing()) return;
  matchesChanged_ = false;
  groups_.Refresh();
  ShowGroups();
  // Look again after the command: that look reads them in full.
  if (groups_.Provisional() && !followTimer_.isActive()) followTimer_.start();
}

void TGroupsView::MatchesChanged() {
  matchesChanged_ = true;
  if (!followTimer_.isActive()) followTimer_.start();
}

void TGroupsView::Follow() {
  // A hidden tab reads the groups when it is shown; a run of "trash the rest" reads them as it ends.
  if (!isVisible() || groups_.Trashing()) return;
  if (matchesChanged_ || (groups_.Provisional() && !form_.Busy())) {
    Refresh();
  } else if (groups_.Provisional()) {
    followTimer_.start();
  }
}

void TGroupsView::ShowGroups() {
  const QSignalBlocker blocker(GroupTree);
  // Read again while a scan runs, the groups stay where the user had them: the open groups (by their
  // keeper) stay open and the list keeps its place.
  QSet<QString> expanded;
  for (int i = 0; i < GroupTree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = GroupTree->topLevelItem(i);
    if (item->isExpanded() && item->childCount() > 0) expanded.insert(item->child(0)->toolTip(ColumnFile));
  }
  const int scrolled = GroupTree->verticalScrollBar()->value();
  GroupTree->clear();
  const std::vector<TCopyGroup>& groups = groups_.Groups();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(groups.size()));
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const TCopyGroup& group = groups[g];
    auto* groupItem = new QTreeWidgetItem;
    groupItem->setText(ColumnFile, QStringLiteral("Group %1: %2 pictures, %3 bytes to free")
                                       .arg(g + 1)
                                       .arg(group.Members.size())
                                       .arg(QString::fromStdString(IntToStrSep(group.RestBytes()))));
    groupItem->setData(ColumnFile, kGroupRole, static_cast<qulonglong>(g));
    groupItem->setData(ColumnFile, kMemberRole, -1);
    for (std::size_t m = 0; m < group.Members.size(); ++m) {
      const TGroupMember& member = group.Members[m];
      auto* memberItem = new QTreeWidgetItem(groupItem);
      // The members lie in the Folder: the name says which, the tip gives the full name.
      memberItem->setText(ColumnFile, FromName(std::string(NameOfPath(member.FullName))));
      memberItem->setToolTip(ColumnFile, FromName(member.FullName));
      if (member.Exists) {
        memberItem->setText(ColumnPixels, QStringLiteral("%1 x %2").arg(member.Width).arg(member.Height));
        memberItem->setText(ColumnBytes, QString::fromStdString(IntToStrSep(member.Bytes)));
        memberItem->setText(ColumnFormat, QString::fromStdString(member.Format));
        memberItem->setText(ColumnDate, QString::fromStdString(DateTimeToIso(member.Date)));
      }
      memberItem->setText(ColumnNote, QString::fromStdString(groups_.MemberNote(g, m)));
      memberItem->setData(ColumnFile, kGroupRole, static_cast<qulonglong>(g));
      memberItem->setData(ColumnFile, kMemberRole, static_cast<int>(m));
    }
    rows.push_back(groupItem);
  }
  GroupTree->addTopLevelItems(rows);
  // A group's row tells its number, size and bytes to free across the whole width.
  for (QTreeWidgetItem* row : rows) {
    row->setFirstColumnSpanned(true);
    if (!expanded.isEmpty() && expanded.contains(row->child(0)->toolTip(ColumnFile))) row->setExpanded(true);
  }
  GroupTree->verticalScrollBar()->setValue(scrolled);
  if (const std::optional<std::size_t> selected = groups_.Selected()) {
    QTreeWidgetItem* item = GroupTree->topLevelItem(static_cast<int>(*selected));
    item->setExpanded(true);
    item->setSelected(true);
    GroupTree->scrollToItem(item);
  }
  SelectionChanged();
}

bool TGroupsView::SelectedPlace(int& group, int& member) const {
  const QList<QTreeWidgetItem*> selected = GroupTree->selectedItems();
  if (selected.isEmpty()) return false;
  group = static_cast<int>(selected.front()->data(ColumnFile, kGroupRole).toULongLong());
  member = selected.front()->data(ColumnFile, kMemberRole).toInt();
  return true;
}

void TGroupsView::SelectionChanged() {
  int group = -1, member = -1;
  const bool any = SelectedPlace(group, member);
  groups_.Select(any ? std::optional<std::size_t>(group) : std::nullopt);
  ShowButtons();
  std::vector<std::string> files;
  if (any) {
    for (const TGroupMember& m : groups_.Groups()[static_cast<std::size_t>(group)].Members)
      files.push_back(m.FullName);
  }
  Thumbnails->ShowFiles(files);
}

void TGroupsView::ShowButtons() {
  int group = -1, member = -1;
  const bool any = SelectedPlace(group, member);
  // No command may start while one runs; the groups are read again as it ends.
  const bool idle = !form_.Busy();
  const bool writable = form_.ReadOnlyNote().empty();
  KeepButton->setEnabled(idle && any && member > 0);
  TrashGroupButton->setEnabled(idle && any && writable);
  TrashAllButton->setEnabled(idle && !groups_.Groups().empty() && writable);
}

void TGroupsView::KeepClicked() {
  int group = -1, member = -1;
  if (form_.Busy() || !SelectedPlace(group, member) || member <= 0) return;
  groups_.KeepThisOne(
      groups_.Groups()[static_cast<std::size_t>(group)].Members[static_cast<std::size_t>(member)].FullName);
  ShowGroups();
}

void TGroupsView::TrashGroupClicked() {
  // Checking the members reads Sigs, which a running command may be walking.
  if (form_.Busy()) return;
  const std::string confirm = groups_.ConfirmSelectedText();
  if (confirm.empty()) {
    QMessageBox::information(this, QStringLiteral("Trash the rest"),
                             QStringLiteral("Nothing in this group can go to the trash:\n") +
                                 FromName(groups_.SelectedStaysText()));
    return;
  }
  if (QMessageBox::question(this, QStringLiteral("Trash the rest"), FromName(confirm)) != QMessageBox::Yes)
    return;
  RunTrash([this] { groups_.TrashSelectedClick(); });
}

void TGroupsView::TrashAllClicked() {
  if (form_.Busy()) return;
  bool includeGrayOrTurned = false;
  if (!ConfirmAll(this, groups_, includeGrayOrTurned)) return;
  RunTrash([this, includeGrayOrTurned] { groups_.TrashAllClick(includeGrayOrTurned); });
}

void TGroupsView::RunTrash(const std::function<void()>& trash) {
  for (QPushButton* button : {KeepButton, TrashGroupButton, TrashAllButton}) button->setEnabled(false);
  emit TrashRunning(true);
  trash();
  emit TrashRunning(false);
  // The run read the groups afresh as it ended.
  matchesChanged_ = false;
  ShowGroups();
}

}  // namespace velquin
