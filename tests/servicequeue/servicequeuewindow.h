#pragma once

// A service queue window against the stand-in service, for the integration
// tests: StandinWindow with the queue model on top. Link tavlon_servicequeue
// and tavlon_session.
#include "../common/standinwindow.h"

#include "servicequeue/servicequeuemodel.h"

class ServiceQueueWindow : protected StandinWindow
{
protected:
    using StandinWindow::StandinWindow;

    std::unique_ptr<ServiceQueueModel> model;

    // A window's models for the signed-in session.
    void openWindow(bool rememberProjects = true)
    {
        model.reset();
        openEditor(rememberProjects);
        model = std::make_unique<ServiceQueueModel>(adapter->bridge());
    }

    // The previous window closed, `email` signed in and a new window open;
    // false when the sign-in failed (the test has failed then).
    bool signInAndOpen(const QString &email, bool rememberProjects = true)
    {
        model.reset();
        adapter.reset();
        signIn(email);
        if (QTest::currentTestFailed())
            return false;
        openWindow(rememberProjects);
        return true;
    }

    void selectCompanyNamed(const QString &name)
    {
        for (const ServiceCompany &company : model->directory().companies()) {
            if (company.name == name) {
                model->selectCompany(company.id, *adapter);
                return;
            }
        }
    }

    // For cleanupTestCase.
    void closeWindow()
    {
        model.reset();
        closeEditor();
    }
};
