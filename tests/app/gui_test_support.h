// Helpers of the GUI tests: a watchdog against hanging modal loops, a
// recorder that stands in for message boxes, and image files on disk.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "app/message_box.h"

class QWidget;

namespace bramis::test {

// Ends the test program with a message when the test has not finished within
// `limit`: a modal loop that nobody closes must not hang the test run.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(60));
    ~Watchdog();

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// One message box that was shown, with what the screen looked like then.
struct RecordedMessage {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
    bool ownerVisible = false;  // whether the owner was on screen while the box was open
};

// Replaces the message box for its lifetime: every box is recorded and
// "closed" at once, after `onShow` (when set) has run inside it.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();

    std::vector<RecordedMessage> messages;
    std::function<void(const RecordedMessage&)> onShow;

    QStringList Texts() const;
};

// A folder of its own with image files in it.
class ImageFolder {
public:
    // Writes `size` bytes (a pattern that differs from block to block) as
    // `name`; returns its full path.
    QString Write(const QString& name, std::size_t size, std::uint8_t seed = 1) const;
    QString Path(const QString& name) const;
    QString Folder() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// The pattern Write puts into a file.
std::vector<std::uint8_t> TestPattern(std::size_t size, std::uint8_t seed);

// Runs `action` once the current modal loop is running: for commands that
// open a modal window and return only when it has closed.
void WhenIdle(std::function<void()> action);

// Reads a whole file (empty when it cannot be read).
std::vector<std::uint8_t> ReadWholeFile(const QString& path);

}  // namespace bramis::test
