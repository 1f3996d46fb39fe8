#include "platform/ui/qt/qt_backend.h"

#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QPointer>
#include <QPushButton>
#include <QThread>

#include "platform/ui/filedialog.h"
#include "platform/ui/gdi.h"
#include "platform/ui/menu.h"
#include "platform/ui/messagebox.h"
#include "platform/win32/codepage.h"

namespace winport::ui {
namespace {

std::mutex windowsMutex;
std::map<HWND, QPointer<QWidget>>& Windows() {
  static auto* windows = new std::map<HWND, QPointer<QWidget>>;  // never destroyed: windows may go during exit
  return *windows;
}

QWidget* OwnerWidget(HWND owner) {
  if (QWidget* w = WidgetOf(owner)) return w;
  return QApplication::activeWindow();
}

// Runs `fn` on the thread of the application, waiting for it when called from another.
template <typename Fn>
auto OnGuiThread(Fn fn) -> decltype(fn()) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return fn();
  decltype(fn()) result{};
  QMetaObject::invokeMethod(app, [&] { result = fn(); }, Qt::BlockingQueuedConnection);
  return result;
}

QMessageBox::Icon IconOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// The buttons' texts as the German system shows them. Only OK and Cancel take
// the roles that Escape and the close box act on, as on Windows.
std::pair<QString, QMessageBox::ButtonRole> ButtonOf(int id) {
  switch (id) {
    case IDOK: return {QStringLiteral("OK"), QMessageBox::AcceptRole};
    case IDCANCEL: return {QStringLiteral("Abbrechen"), QMessageBox::RejectRole};
    case IDABORT: return {QStringLiteral("&Abbrechen"), QMessageBox::ActionRole};
    case IDRETRY: return {QStringLiteral("&Wiederholen"), QMessageBox::ActionRole};
    case IDIGNORE: return {QStringLiteral("&Ignorieren"), QMessageBox::ActionRole};
    case IDYES: return {QStringLiteral("&Ja"), QMessageBox::ActionRole};
    case IDNO: return {QStringLiteral("&Nein"), QMessageBox::ActionRole};
    default: return {QString::number(id), QMessageBox::ActionRole};
  }
}

// "description|pattern|...||" as Qt's name filters "description (p1 p2)".
QStringList NameFilters(const std::string& filter) {
  QStringList parts = FromAnsi(filter).split(u'|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty() && parts[i + 1].isEmpty()) break;
    QString patterns = parts[i + 1];
    patterns.replace(u';', u' ');
    out << parts[i] + QStringLiteral(" (") + patterns + u')';
  }
  return out;
}

}  // namespace

QString FromAnsi(const std::string& ansi) { return QString::fromStdString(AnsiToUtf8(ansi)); }
std::string ToAnsi(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

void BindWindow(HWND window, QWidget* widget) {
  if (!window) return;
  std::lock_guard lock(windowsMutex);
  Windows()[window] = widget;
}

void UnbindWindow(HWND window) {
  std::lock_guard lock(windowsMutex);
  Windows().erase(window);
}

QWidget* WidgetOf(HWND window) {
  if (!window) return nullptr;
  std::lock_guard lock(windowsMutex);
  const auto it = Windows().find(window);
  return it == Windows().end() ? nullptr : it->second.data();
}

QFont DialogFont(const DialogTemplate& dialog) {
  QFont font = QApplication::font();
  if (dialog.pointSize > 0) font.setPointSize(dialog.pointSize);
  return font;
}

BaseUnits DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return BaseUnits{AverageCharWidth(letters), metrics.height()};
}

int VirtualKeyOf(int qtKey) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return '0' + (qtKey - Qt::Key_0);
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 'A' + (qtKey - Qt::Key_A);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    default: return 0;
  }
}

// Keeps the keys held down in the application's windows, for GetAsyncKeyState.
class QtBackend::KeyTracker : public QObject {
 public:
  KeyTracker() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
  }
  ~KeyTracker() override {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  }

  bool IsDown(int virtualKey) {
    std::lock_guard lock(mutex_);
    return down_.count(virtualKey) != 0;
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (const int vk = VirtualKeyOf(key->key()); vk != 0 && !key->isAutoRepeat()) {
        std::lock_guard lock(mutex_);
        if (type == QEvent::KeyPress)
          down_.insert(vk);
        else
          down_.erase(vk);
      }
    } else if (type == QEvent::ApplicationDeactivate) {
      std::lock_guard lock(mutex_);
      down_.clear();  // releases outside our windows are not seen
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::mutex mutex_;
  std::set<int> down_;
};

QtBackend::QtBackend() : keys_(std::make_unique<KeyTracker>()) {}

QtBackend::~QtBackend() {
  if (&CurrentBackend() == this) SetBackend(nullptr);
}

int QtBackend::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  return OnGuiThread([&]() -> int {
    const std::vector<int> ids = ButtonsOf(type);
    if (ids.empty()) return 0;
    QMessageBox box(IconOf(type), FromAnsi(caption), FromAnsi(text), QMessageBox::NoButton, OwnerWidget(owner));
    std::vector<std::pair<QAbstractButton*, int>> buttons;
    for (int id : ids) {
      const auto [label, role] = ButtonOf(id);
      buttons.emplace_back(box.addButton(label, role), id);
    }
    const int def = DefaultButtonOf(type);
    for (const auto& [button, id] : buttons)
      if (id == def) box.setDefaultButton(static_cast<QPushButton*>(button));
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    for (const auto& [button, id] : buttons)
      if (button == clicked) return id;
    return ids.size() == 1 ? ids[0] : IDCANCEL;
  });
}

std::optional<std::string> QtBackend::FileDialog(const FileDialogRequest& request) {
  return OnGuiThread([&]() -> std::optional<std::string> {
    QString title = FromAnsi(request.title);
    if (title.isEmpty()) title = request.save ? QStringLiteral("Speichern unter") : QString::fromUtf8("Öffnen");
    QFileDialog dialog(OwnerWidget(request.owner), title, FromAnsi(request.initialDir));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!request.save && (request.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                                          : QFileDialog::AnyFile);
    if (request.save && !(request.flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = NameFilters(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.initialName.empty()) dialog.selectFile(FromAnsi(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return ToAnsi(dialog.selectedFiles().first());
  });
}

void QtBackend::SetWaitCursor(bool shown) {
  OnGuiThread([shown] {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    if (shown)
      QApplication::setOverrideCursor(Qt::WaitCursor);
    else
      QApplication::restoreOverrideCursor();
    return 0;
  });
}

void QtBackend::ProcessEvents() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app && QThread::currentThread() == app->thread()) QCoreApplication::processEvents();
}

void QtBackend::Dispatch(const MSG&) {}

UINT QtBackend::PopupMenu(const PopupMenuRequest& request) {
  return OnGuiThread([&]() -> UINT {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    QMenu menu(OwnerWidget(request.owner));
    for (const MenuItem& item : request.items) {
      if (item.flags & MF_SEPARATOR) {
        menu.addSeparator();
        continue;
      }
      QAction* action = menu.addAction(FromAnsi(item.text));
      action->setData(item.id);
      action->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
      action->setCheckable((item.flags & MF_CHECKED) != 0);
      action->setChecked((item.flags & MF_CHECKED) != 0);
    }
    const QAction* chosen = menu.exec(QPoint(request.at.x, request.at.y));
    return chosen ? chosen->data().toUInt() : 0;
  });
}

int QtBackend::SystemMetric(int index) {
  return OnGuiThread([&]() -> int {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return Backend::SystemMetric(index);
    const QRect all = screen->geometry();
    const QRect work = screen->availableGeometry();
    switch (index) {
      case SM_CXSCREEN: return all.width();
      case SM_CYSCREEN: return all.height();
      case SM_CXFULLSCREEN: return work.width();
      case SM_CYFULLSCREEN: {
        const QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
        return work.height() - (app ? QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight) : 0);
      }
      case SM_CMONITORS: return static_cast<int>(QGuiApplication::screens().size());
      default: return 0;
    }
  });
}

BaseUnits QtBackend::DialogUnits(const DialogTemplate& dialog) {
  return OnGuiThread([&]() -> BaseUnits {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return Backend::DialogUnits(dialog);
    return DialogBaseUnits(DialogFont(dialog));
  });
}

void QtBackend::WindowMoved(HWND window, const RECT& rect) {
  OnGuiThread([&] {
    QWidget* w = WidgetOf(window);
    if (!w) return 0;
    const QRect r(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    if (w->isWindow() && w->minimumSize() == w->maximumSize()) w->setFixedSize(r.size());
    w->setGeometry(r);
    return 0;
  });
}

DWORD QtBackend::SystemColor(int index) {
  if (index != COLOR_WINDOW) return Backend::SystemColor(index);
  return OnGuiThread([]() -> DWORD {
    const QColor c = QApplication::palette().color(QPalette::Base);
    return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()), static_cast<BYTE>(c.blue()));
  });
}

SHORT QtBackend::KeyState(int virtualKey) { return keys_->IsDown(virtualKey) ? SHORT(0x8000) : SHORT(0); }

}  // namespace winport::ui
