#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>

namespace orlix::bench {

// A private Xvfb with one 24-bit screen, ended with the object.
class XvfbDisplay {
public:
    XvfbDisplay() = default;
    ~XvfbDisplay();
    XvfbDisplay(const XvfbDisplay&) = delete;
    XvfbDisplay& operator=(const XvfbDisplay&) = delete;

    // Starts the server on a free display number; false, with error(), when it cannot.
    bool start(QSize size);
    // ":<number>", once started.
    const QString& name() const { return name_; }
    const QString& error() const { return error_; }
    // The server's process id, once started; 0 before.
    std::int64_t processId() const { return server_ ? server_->processId() : 0; }
    // The caller's environment with DISPLAY naming this server.
    QProcessEnvironment environment() const;

private:
    std::unique_ptr<QProcess> server_;
    QString name_;
    QString error_;
};

} // namespace orlix::bench
