#pragma once

#include <QUrl>
#include <functional>
#include <optional>

class QWidget;

// Asks for an exported movie file. `done` gets the file, or nothing when the
// person cancelled.
class VideoFileChooser
{
public:
    using Done = std::function<void(const std::optional<QUrl> &)>;
    virtual ~VideoFileChooser() = default;
    virtual void chooseMovie(QWidget *parent, Done done) = 0;
};

// Asks for a native editor project: a file or a folder, with a message.
class ProjectChooser
{
public:
    using Done = std::function<void(const std::optional<QUrl> &)>;
    virtual ~ProjectChooser() = default;
    virtual void chooseProject(QWidget *parent, const QString &message, Done done) = 0;
};

// The window-modal dialogs the application uses.
class DialogVideoFileChooser final : public VideoFileChooser
{
public:
    void chooseMovie(QWidget *parent, Done done) override;
};

class DialogProjectChooser final : public ProjectChooser
{
public:
    void chooseProject(QWidget *parent, const QString &message, Done done) override;
};
