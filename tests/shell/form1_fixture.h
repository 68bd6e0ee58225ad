#pragma once
// A main window with a private settings file, a scripted modal interface and
// the recording engine, ready to load.

#include "engine/fake/recording_fake.h"
#include "shell/form1.h"
#include "tests/support/scripted_modal.h"
#include "tests/support/temp_env.h"
#include "tests/support/window_fixture.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace marigal::test {

class Form1Test : public WindowTest<Form1> {
protected:
    QString ini = dir.filePath("Marigal.conf");
    engine::RecordingFake engine;
    std::unique_ptr<SettingsStore> settings;
    int draw = 50;
    QStringList opened;

    void store(const QString& key, const QString& value) { SettingsStore(ini).SaveSetting(key, value); }
    QString stored(const QString& key) const { return SettingsStore(ini).GetSetting(key, "<absent>"); }

    Form1& make() override
    {
        settings = std::make_unique<SettingsStore>(ini);
        Form1Services svc;
        svc.modal = &modal;
        svc.settings = settings.get();
        svc.engine = &engine;
        svc.appFolder = appFolder;
        svc.drawMakerSite = [this] { return draw; };
        svc.openUrl = [this](const QString& url) { opened << url; };
        svc.endApplication = [this] { ++ended; };
        form = std::make_unique<Form1>(svc);
        return *form;
    }

    QString photo(const QString& name = "photo.jpg") { return WriteJpeg(dir.filePath(name)); }
};

}  // namespace marigal::test
