#include "ui/TfrmGetDatabase.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextOption>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "ui/accessible.h"
#include "ui/help.h"

namespace vesper {

namespace {

// Draws the item's background as the style does, then the text with the
// list's tab stops.
class TabDelegate : public QStyledItemDelegate {
 public:
  explicit TabDelegate(TTabListBox* list) : QStyledItemDelegate(list), list_(list) {}

  QTextOption option() const {
    QTextOption o;
    o.setWrapMode(QTextOption::NoWrap);
    o.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    std::vector<int> px = list_->tabStopPixels();
    if (px.size() == 1) {
      o.setTabStopDistance(px[0]);
    } else if (!px.empty()) {
      QList<QTextOption::Tab> tabs;
      for (int p : px) tabs.append(QTextOption::Tab(p, QTextOption::LeftTab));
      o.setTabs(tabs);
    }
    return o;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& opt,
             const QModelIndex& index) const override {
    QStyleOptionViewItem o(opt);
    initStyleOption(&o, index);
    QString text = o.text;
    o.text.clear();
    const QWidget* w = o.widget;
    QStyle* style = w ? w->style() : nullptr;
    if (style) style->drawControl(QStyle::CE_ItemViewItem, &o, painter, w);
    QRect r = style ? style->subElementRect(QStyle::SE_ItemViewItemText, &o, w) : o.rect;
    r.adjust(2, 0, -2, 0);
    painter->save();
    bool selected = o.state & QStyle::State_Selected;
    QPalette::ColorGroup group = (o.state & QStyle::State_Enabled)
                                     ? ((o.state & QStyle::State_Active) ? QPalette::Active
                                                                         : QPalette::Inactive)
                                     : QPalette::Disabled;
    painter->setPen(o.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(o.font);
    painter->setClipRect(r);
    painter->drawText(QRectF(r), text, option());
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
    QSize base = QStyledItemDelegate::sizeHint(opt, index);
    QString text = index.data(Qt::DisplayRole).toString();
    QFontMetrics fm(opt.font);
    std::vector<int> px = list_->tabStopPixels();
    QSize textSize;
    if (px.size() == 1) {
      textSize = fm.size(Qt::TextExpandTabs | Qt::TextSingleLine, text, px[0]);
    } else {
      std::vector<int> arr(px);
      arr.push_back(0);
      textSize = fm.size(Qt::TextExpandTabs | Qt::TextSingleLine, text, 0,
                         arr.empty() ? nullptr : arr.data());
    }
    return QSize(textSize.width() + 12, base.height());
  }

 private:
  TTabListBox* list_;
};

}  // namespace

TTabListBox::TTabListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new TabDelegate(this));
  setUniformItemSizes(true);
}

void TTabListBox::setTabStops(const std::vector<int>& dialogUnits) {
  stops_ = dialogUnits;
  doItemsLayout();
  viewport()->update();
}

double TTabListBox::dialogUnit() const {
  return QFontMetricsF(font()).averageCharWidth() / 4.0;
}

std::vector<int> TTabListBox::tabStopPixels() const {
  std::vector<int> px;
  double unit = dialogUnit();
  for (int s : stops_) px.push_back(static_cast<int>(std::lround(s * unit)));
  return px;
}

void TTabListBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) doItemsLayout();
  QListWidget::changeEvent(event);
}

namespace {
constexpr int kHelpTopic = 2303;
constexpr int kControlTopic = 2330;
}  // namespace

TfrmGetDatabase::TfrmGetDatabase(DatabaseChooser& chooser, QWidget* parent)
    : QDialog(parent), chooser_(chooser) {
  setWindowTitle(QStringLiteral("Target database?"));
  setObjectName(QStringLiteral("TfrmGetDatabase"));
  sethelptopic(this, kControlTopic);

  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QStringLiteral("Select the Pennant target database:"), this);
  layout->addWidget(text);
  list_ = new TTabListBox(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setMinimumSize(340, 160);
  text->setBuddy(list_);
  layout->addWidget(list_, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  ok->setDefault(true);
  for (QPushButton* b : {ok, cancel, help}) buttons->addWidget(b);
  layout->addLayout(buttons);

  connect(ok, &QPushButton::clicked, this, &TfrmGetDatabase::OKBtnClick);
  connect(cancel, &QPushButton::clicked, this, &TfrmGetDatabase::CancelBtnClick);
  connect(help, &QPushButton::clicked, this, &TfrmGetDatabase::BitBtn1Click);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { OKBtnClick(); });
  list_->setFocus();
  nameaccessibly(this);
}

void TfrmGetDatabase::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TfrmGetDatabase::FormShow() {
  list_->setTabStops({DatabaseChooser::kTabStop});
  list_->clear();
  chooser_.FormShow();
  for (const std::string& line : chooser_.lines())
    list_->addItem(QString::fromStdString(line));
  if (chooser_.result() == DatabaseChooser::Result::Cancel) {
    // An empty catalogue: the chooser has said so; close once shown.
    QTimer::singleShot(0, this, [this] { QDialog::reject(); });
    return;
  }
  int width = list_->sizeHintForColumn(0) + 2 * list_->frameWidth() + 24;
  if (width > list_->width()) list_->setMinimumWidth(qMin(width, 640));
  if (list_->count() > 0) list_->setCurrentRow(0, QItemSelectionModel::NoUpdate);
}

void TfrmGetDatabase::OKBtnClick() {
  QList<QListWidgetItem*> selected = list_->selectedItems();
  chooser_.OKBtnClick(selected.isEmpty() ? -1 : list_->row(selected.first()));
  accept();
}

void TfrmGetDatabase::CancelBtnClick() { reject(); }

void TfrmGetDatabase::reject() {
  chooser_.CancelClick();
  QDialog::reject();
}

void TfrmGetDatabase::BitBtn1Click() { showhelp(this, kHelpTopic); }

}  // namespace vesper
