#pragma once

#include <QPointer>
#include <QSharedPointer>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class EditorModel;
class QFileDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class SorvaneAvatarView;
class SorvaneOwnProfileForm;
class SorvaneProfilesModel;

// Asks for one picture file. `done` gets the chosen files (empty when the
// person cancelled) or none when the chooser itself failed.
class SorvanePhotoChooser
{
public:
    using Done = std::function<void(const std::optional<QStringList> &)>;
    virtual ~SorvanePhotoChooser() = default;
    virtual void choose(QWidget *parent, Done done) = 0;
    // Closes an open chooser; its result, if any still comes, is ignored.
    virtual void close() = 0;
};

// The signed-in person's display name and profile photo, as customers see
// them on the tasks assigned to that person.
class SorvaneOwnProfileView final : public QWidget
{
    Q_OBJECT
public:
    SorvaneOwnProfileView(SorvaneProfilesModel &model, QSharedPointer<EditorModel> editor,
                          std::shared_ptr<SorvanePhotoChooser> chooser = {}, QWidget *parent = nullptr);
    ~SorvaneOwnProfileView() override;

    SorvaneOwnProfileForm &form() const { return *m_form; }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void refresh();
    void choosePhoto();

    QSharedPointer<EditorModel> m_editor;
    std::shared_ptr<SorvanePhotoChooser> m_chooser;
    SorvaneOwnProfileForm *m_form;
    QWidget *m_content;
    QWidget *m_profileArea;
    SorvaneAvatarView *m_avatar;
    QLineEdit *m_name;
    QPushButton *m_choose;
    QPushButton *m_remove;
    QPushButton *m_save;
    QProgressBar *m_saving;
    QWidget *m_saved;
    QProgressBar *m_loading;
    QWidget *m_messageRow;
    QLabel *m_messageIcon;
    QLabel *m_message;
    QPushButton *m_tryAgain;
};
