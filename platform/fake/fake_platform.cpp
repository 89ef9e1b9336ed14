#include "platform/fake/fake_platform.h"

#include <QFile>
#include <QFileInfo>

namespace dorvane::platform {

MessageAnswer FakeMessageBox::show(QWidget*, const MessageRequest& request) {
    shown.push_back({request.text, request.title.isEmpty() ? m_title : request.title, request.buttons, request.icon});
    if (!answers.empty()) {
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    switch (request.buttons) {
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel: return MessageAnswer::Yes;
    case MessageButtons::RetryCancel: return MessageAnswer::Retry;
    default: return MessageAnswer::Ok;
    }
}

QStringList FakeMessageBox::texts() const {
    QStringList out;
    for (const auto& m : shown) out << m.text;
    return out;
}

InputResult FakeInputBox::ask(QWidget*, const QString& prompt, const QString& title, const QString& defaultText) {
    asked.push_back({prompt, title, defaultText});
    if (answers.empty()) return {};
    InputResult answer = answers.front();
    answers.pop_front();
    return answer;
}

namespace {
QString nextAnswer(std::deque<QString>& answers) {
    if (answers.empty()) return QString();
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}
}  // namespace

void FakeFileDialog::showOpen(QWidget*, FileDialogRequest& request) {
    opened.push_back(request);
    wasOpenDialog.push_back(true);
    request.fileName = nextAnswer(answers);
}

void FakeFileDialog::showSave(QWidget*, FileDialogRequest& request) {
    opened.push_back(request);
    wasOpenDialog.push_back(false);
    request.fileName = nextAnswer(answers);
}

QString FakeFolderDialog::browse(QWidget*, const QString& title, unsigned f,
                                 const std::function<void(FolderDialogSession&, int)>& notify) {
    titles << title;
    flags.push_back(f);
    if (notify) notify(*this, kFolderDialogInitialized);
    return nextAnswer(answers);
}

bool FakePointerControl::loadCustom(QWidget*, const QString& cursorFile) {
    loadedCursors << cursorFile;
    return QFileInfo::exists(cursorFile);
}

QString FakeSettingsStore::get(const QString& application, const QString& section, const QString& key) const {
    return values.value(application + '/' + section + '/' + key);
}

void FakeSettingsStore::save(const QString& application, const QString& section, const QString& key,
                             const QString& value) {
    values[application + '/' + section + '/' + key] = value;
    writes << key + '=' + value;
}

std::optional<QDateTime> FakeEnvironment::fileDateTime(const QString& path) const {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) return std::nullopt;
    return info.lastModified();
}

QByteArray FakeEnvironment::readFile(const QString& path) const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int FakeWindowRunner::showModal(QDialog& dialog) {
    shownWindows << dialog.objectName();
    if (scripts.empty()) return QDialog::Rejected;
    auto script = std::move(scripts.front());
    scripts.pop_front();
    return script(dialog);
}

}  // namespace dorvane::platform
