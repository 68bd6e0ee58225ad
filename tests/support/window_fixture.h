#pragma once
// What a window's tests share: a folder of their own with the application
// folder in it, a scripted modal interface, the window, and the count of
// times it ended the application.

#include "tests/support/scripted_modal.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace marigal::test {

template <class Form, class ModalKind = ScriptedModal>
class WindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString appFolder = dir.filePath("app");
    ModalKind modal;
    std::unique_ptr<Form> form;
    int ended = 0;

    WindowTest() { QDir().mkpath(appFolder); }

    // The window with its services, not yet loaded.
    virtual Form& make() = 0;

    Form& load()
    {
        make().Form_Load();
        return *form;
    }
};

}  // namespace marigal::test
