#include "gui_test_support.h"

#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

namespace bramis::test {

Watchdog::Watchdog(std::chrono::seconds limit)
    : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
              std::fprintf(stderr, "watchdog: the test did not finish within %lld s\n",
                           static_cast<long long>(limit.count()));
              std::fflush(stderr);
              std::abort();
          }
      }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    done_.notify_all();
    thread_.join();
}

MessageRecorder::MessageRecorder() {
    SetMessageBoxFunction([this](QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
        RecordedMessage message{owner, text, caption, icon, owner != nullptr && owner->isVisible()};
        messages.push_back(message);
        if (onShow) onShow(message);
    });
}

MessageRecorder::~MessageRecorder() { SetMessageBoxFunction({}); }

QStringList MessageRecorder::Texts() const {
    QStringList texts;
    for (const RecordedMessage& message : messages) texts << message.text;
    return texts;
}

std::vector<std::uint8_t> TestPattern(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed * 31 + i * 7 + (i / 512) * 13);
    return bytes;
}

QString ImageFolder::Path(const QString& name) const { return dir_.filePath(name); }

QString ImageFolder::Write(const QString& name, std::size_t size, std::uint8_t seed) const {
    const QString path = Path(name);
    QFile file(path);
    const std::vector<std::uint8_t> bytes = TestPattern(size, seed);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size()))
        std::abort();
    return path;
}

void WhenIdle(std::function<void()> action) { QTimer::singleShot(0, std::move(action)); }

std::vector<std::uint8_t> ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

}  // namespace bramis::test
