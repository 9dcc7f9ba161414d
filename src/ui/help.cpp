#include "ui/help.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "ui/accessible.h"

// The help texts are compiled into this static library; their registration
// has to be pulled in by name, from the global namespace.
static void inithelpresources() { Q_INIT_RESOURCE(help); }

namespace vesper {

namespace {

const char* const kTopicProperty = "vesperHelpTopic";

struct Topic {
  int number;
  const char* title;
};

const Topic kTopics[] = {
    {800, "The record list"},
    {2300, "Importing names and addresses"},
    {2302, "Choosing the source file type"},
    {2303, "Choosing the target database"},
    {2305, "Using an import specification file"},
    {2306, "Assigning fields"},
    {2308, "Saving the import specification"},
    {2309, "Accepting records"},
    {2310, "Random selection"},
    {2330, "The database list"},
    {2350, "Record-import decisions and mixed case"},
};

QString topictext(int topic) {
  static bool loaded = false;
  if (!loaded) {
    inithelpresources();
    loaded = true;
  }
  QFile file(QStringLiteral(":/help/%1.html").arg(topic));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

// F1 anywhere in the application: the topic of the focused control or of its
// nearest parent that has one.
class F1Filter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    int topic = helptopic(widget);
    if (topic == 0) return false;
    showhelp(widget, topic);
    return true;
  }
};

void installf1filter() {
  static F1Filter* filter = nullptr;
  if (filter || !qApp) return;
  filter = new F1Filter(qApp);
  qApp->installEventFilter(filter);
}

}  // namespace

const char* helptitle(int topic) {
  for (const Topic& t : kTopics)
    if (t.number == topic) return t.title;
  return "";
}

int helptopic(const QWidget* w) {
  for (; w; w = w->parentWidget()) {
    QVariant v = w->property(kTopicProperty);
    if (v.isValid() && v.toInt() != 0) return v.toInt();
    if (w->isWindow()) break;
  }
  return 0;
}

void sethelptopic(QWidget* w, int topic) {
  if (!w) return;
  w->setProperty(kTopicProperty, topic);
  installf1filter();
}

// The help window is not modal, like a help viewer beside the program; it is
// a child of the window that asked for it, so that it can be used while that
// window is a modal dialog.  One help window per asking window: asking again
// shows the new topic in it.
void showhelp(QWidget* parent, int topic) {
  QWidget* owner = parent ? parent->window() : nullptr;
  QString title = QString::fromLatin1(helptitle(topic));
  QString text = topictext(topic);
  if (title.isEmpty()) title = QStringLiteral("Help");
  if (text.isEmpty()) text = QStringLiteral("<p>There is no help for this topic.</p>");

  QDialog* window = owner ? owner->findChild<QDialog*>(QStringLiteral("helpwindow"),
                                                       Qt::FindDirectChildrenOnly)
                          : nullptr;
  QTextBrowser* browser = nullptr;
  if (window) {
    browser = window->findChild<QTextBrowser*>();
  } else {
    window = new QDialog(owner, Qt::Window);
    window->setObjectName(QStringLiteral("helpwindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(window);
    browser = new QTextBrowser(window);
    browser->setOpenExternalLinks(false);
    layout->addWidget(browser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
    layout->addWidget(buttons);
    browser->setAccessibleName(QStringLiteral("Help text"));
    nameaccessibly(window);
    window->resize(480, 400);
  }
  window->setWindowTitle(title);
  window->setProperty("vesperShownTopic", topic);
  browser->setHtml(text);
  window->show();
  window->raise();
  window->activateWindow();
}

}  // namespace vesper
