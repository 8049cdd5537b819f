// The first four pages of the options sheet: "Output", "FreeDB", "FreeDB::Client" and
// "Driver". Each binds its widgets to the core's page model; every rule (ranges, enabled
// states, resets, refusals) is the model's.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "albuminfo/AlbumSteps.h"
#include "albuminfo/FreeDBPages.h"
#include "app/CdDrive.h"
#include "app/Prompter.h"
#include "app/Settings.h"
#include "rip/Naming.h"
#include "rip/ReadingOptions.h"
#include "ui/OptionsPage.h"
#include "ui/OptionsSheet.h"
#include "ui/ServerEditorDialog.h"
#include "ui/ServerTestDialog.h"

namespace quarrow::ui {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString L(const char* s) { return QString::fromLatin1(s); }

// A group box of radio buttons, one per text, numbered from 0 in a button group; the buttons
// are appended to `buttons`.
template <typename Layout>
QButtonGroup* RadioBox(QWidget* page, QBoxLayout* into, const char* title, const std::vector<std::string>& texts,
                       std::vector<QRadioButton*>& buttons) {
    auto* box = new QGroupBox(L(title), page);
    auto* layout = new Layout(box);
    auto* group = new QButtonGroup(page);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto* b = new QRadioButton(Q(texts[i]), box);
        group->addButton(b, static_cast<int>(i));
        layout->addWidget(b);
        buttons.push_back(b);
    }
    into->addWidget(box);
    return group;
}

// A page whose model writes the record outside apply (its Reset buttons): the main window's
// record when there is one, else a copy taken at load that apply hands on.
class BoundPage : public OptionsPage {
public:
    using OptionsPage::OptionsPage;

protected:
    CSettings& record() { return context().main ? context().main->settings : own_; }
    void remember(const CSettings& s) {
        if (!context().main) own_ = s;
    }
    bool busy() const { return context().refreshing && context().refreshing(); }
    // Runs a change made by the program, not the user: widget signals are ignored meanwhile.
    template <typename F>
    void quietly(F&& f) {
        const bool was = loading_;
        loading_ = true;
        f();
        loading_ = was;
    }
    bool loading_ = false;

private:
    CSettings own_;
};

QCheckBox* Check(QWidget* parent, const char* text) { return new QCheckBox(L(text), parent); }

// ------------------------------------------------------------------------------ Output

class OutputPage : public BoundPage {
public:
    explicit OutputPage(const PageContext& c) : BoundPage(QStringLiteral("Output"), c) {
        auto* grid = new QGridLayout(this);
        dest_ = new QLineEdit(this);
        auto* browse = new QPushButton(QStringLiteral("..."), this);
        browse->setToolTip(L("Please select the destination directory"));
        scheme_ = new QComboBox(this);
        delimiter_ = new QLineEdit(this);
        delimiter_->setMaxLength(3);
        delimiter_->setMaximumWidth(60);
        sample_ = new QLineEdit(this);
        sample_->setReadOnly(true);
        sample_->setFocusPolicy(Qt::ClickFocus);
        auto* destLabel = new QLabel(L("Destination Directory:"), this);
        destLabel->setBuddy(dest_);
        auto* styleLabel = new QLabel(L("Filename Style:"), this);
        styleLabel->setBuddy(scheme_);
        auto* delimLabel = new QLabel(L("Delimiter:"), this);
        delimLabel->setBuddy(delimiter_);
        grid->addWidget(destLabel, 0, 0, 1, 3);
        grid->addWidget(dest_, 1, 0, 1, 2);
        grid->addWidget(browse, 1, 2);
        grid->addWidget(styleLabel, 2, 0);
        grid->addWidget(delimLabel, 2, 1);
        grid->addWidget(scheme_, 3, 0);
        grid->addWidget(delimiter_, 3, 1);
        grid->addWidget(new QLabel(L("Filename Sample:"), this), 4, 0, 1, 3);
        grid->addWidget(sample_, 5, 0, 1, 3);
        fillTag_ = Check(this, "Write Metadata");
        visRip_ = Check(this, "Visualize Ripping Process (Slightly Decrease Ripping Speed)");
        writeLog_ = Check(this, "Write Log File");
        single_ = Check(this, "Single Output File");
        cue_ = Check(this, "Create Cue Sheet");
        m3u_ = Check(this, "Create Playlist");
        notify_ = Check(this, "Notify Me When Finished");
        int row = 6;
        for (QCheckBox* b : {fillTag_, visRip_, writeLog_, single_, cue_, m3u_, notify_})
            grid->addWidget(b, row++, 0, 1, 3);
        auto* reset = new QPushButton(L("Reset"), this);
        grid->addWidget(reset, row++, 2);
        grid->setRowStretch(row, 1);
        grid->setColumnStretch(0, 1);

        connect(dest_, &QLineEdit::textChanged, this, [this](const QString& t) {
            if (!loading_) model_.SetDestination(t.toStdString());
        });
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString dir = QFileDialog::getExistingDirectory(this, L("Please select the destination directory"),
                                                                  dest_->text());
            if (!dir.isEmpty()) dest_->setText(dir);
        });
        connect(scheme_, &QComboBox::currentIndexChanged, this, [this](int i) {
            if (loading_ || i < 0) return;
            model_.SetScheme(i);
            showModel();
        });
        connect(delimiter_, &QLineEdit::textChanged, this, [this](const QString& t) {
            if (loading_) return;
            model_.SetDelimiterText(t.toStdString());
            showModel();
        });
        const std::pair<QCheckBox*, void (COutputOptions::*)(bool)> boxes[] = {
            {fillTag_, &COutputOptions::SetFillTag}, {visRip_, &COutputOptions::SetVisRip},
            {writeLog_, &COutputOptions::SetWriteLog}, {single_, &COutputOptions::SetSingleOutput},
            {cue_, &COutputOptions::SetCueSheet}, {m3u_, &COutputOptions::SetPlaylist},
            {notify_, &COutputOptions::SetNotify}};
        for (const auto& [box, set] : boxes) {
            connect(box, &QCheckBox::toggled, this, [this, set](bool on) {
                if (loading_) return;
                (model_.*set)(on);
                showModel();
            });
        }
        connect(reset, &QPushButton::clicked, this, [this] {
            if (!context().prompter || !model_.Reset(record(), context().home, *context().prompter)) return;
            // Every encoder page shows its defaults too.
            for (QWidget* w = parentWidget(); w; w = w->parentWidget())
                if (auto* sheet = qobject_cast<OptionsSheet*>(w)) {
                    sheet->reloadOutputPages();
                    return;
                }
            load(record());
        });
    }

    void load(const CSettings& s) override {
        remember(s);
        settings_ = &s;
        model_.Open(s);
        quietly([&] {
            dest_->setText(Q(model_.destination));
            delimiter_->setText(Q(model_.separator));
        });
        showModel();
    }

    bool apply(CSettings& s) override { return model_.Apply(s, busy()); }

private:
    // Every widget from the model (the scheme list follows the separator).
    void showModel() {
        quietly([&] {
            const auto entries = model_.SchemeEntries();
            if (scheme_->count() != static_cast<int>(entries.size())) {
                scheme_->clear();
                for (const auto& e : entries) scheme_->addItem(Q(e));
            } else {
                for (int i = 0; i < scheme_->count(); ++i) scheme_->setItemText(i, Q(entries[static_cast<std::size_t>(i)]));
            }
            scheme_->setCurrentIndex(model_.scheme);
            fillTag_->setChecked(model_.fillTag);
            visRip_->setChecked(model_.visRip);
            writeLog_->setChecked(model_.writeLog);
            single_->setChecked(model_.singleOutput);
            cue_->setChecked(model_.cueSheet);
            m3u_->setChecked(model_.playlist);
            notify_->setChecked(model_.notify);
            cue_->setEnabled(model_.CueSheetEnabled());
            m3u_->setEnabled(model_.PlaylistEnabled());
            if (settings_) sample_->setText(Q(model_.Preview(*settings_)));
        });
    }

    COutputOptions model_;
    const CSettings* settings_ = nullptr;
    QLineEdit* dest_;
    QComboBox* scheme_;
    QLineEdit* delimiter_;
    QLineEdit* sample_;
    QCheckBox *fillTag_, *visRip_, *writeLog_, *single_, *cue_, *m3u_, *notify_;
};

// ------------------------------------------------------------------------------ FreeDB

// The lookup collaborators the FreeDB pages edit: the main window's, or (without one) a
// set of their own.
struct FreeDBTargets {
    explicit FreeDBTargets(const PageContext& c) {
        if (c.main) services = &Services(*c.main);
        else services = (own = std::make_unique<AlbumServices>()).get();
    }
    std::unique_ptr<AlbumServices> own;
    AlbumServices* services = nullptr;
};

class FreeDBClientQtPage;

class FreeDBPage : public BoundPage {
public:
    FreeDBPage(const PageContext& c, std::shared_ptr<FreeDBTargets> targets)
        : BoundPage(QStringLiteral("FreeDB"), c), targets_(std::move(targets)) {
        AlbumServices& sv = *targets_->services;
        model_ = std::make_unique<FreeDBOptionPage>(record(), sv.servers, sv.client, sv.server, *c.prompter, c.home,
                                                    &busy_);
        auto* root = new QVBoxLayout(this);
        auto* serverBox = new QGroupBox(L("FreeDB Server"), this);
        auto* serverGrid = new QGridLayout(serverBox);
        servers_ = new QComboBox(serverBox);
        servers_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        serverGrid->addWidget(servers_, 0, 0, 1, 4);
        QPushButton* buttons[4];
        const char* texts[4] = {"Add", "Edit", "Delete", "Reset"};
        for (int i = 0; i < 4; ++i) serverGrid->addWidget(buttons[i] = new QPushButton(L(texts[i]), serverBox), 1, i);
        root->addWidget(serverBox);

        load_ = Check(this, "Load FreeDB Information when Audio CD Inserted");
        root->addWidget(load_);
        auto* sourceBox = new QGroupBox(this);
        auto* sourceLayout = new QVBoxLayout(sourceBox);
        const char* sources[3] = {"Both Remote and Local ", "Remote only (from FreeDB Servers)",
                                  "Local only  (from Harddisk Files)"};
        for (int i = 0; i < 3; ++i) {
            source_[i] = new QRadioButton(L(sources[i]), sourceBox);
            sourceLayout->addWidget(source_[i]);
        }
        root->addWidget(sourceBox);
        save_ = Check(this, "Save Remote Album Information to Local Files ");
        root->addWidget(save_);
        auto* pathRow = new QHBoxLayout;
        auto* pathLabel = new QLabel(L("Local FreeDB Path:"), this);
        path_ = new QLineEdit(this);
        pathLabel->setBuddy(path_);
        auto* browse = new QPushButton(QStringLiteral("...."), this);
        pathRow->addWidget(pathLabel);
        pathRow->addWidget(path_, 1);
        pathRow->addWidget(browse);
        root->addLayout(pathRow);
        auto* bottom = new QHBoxLayout;
        auto* test = new QPushButton(L("Test"), this);
        auto* resetEverything = new QPushButton(L("Reset"), this);
        bottom->addWidget(test);
        bottom->addStretch();
        bottom->addWidget(resetEverything);
        root->addLayout(bottom);
        root->addStretch();

        connect(servers_, &QComboBox::currentIndexChanged, this, [this](int i) {
            if (!loading_) model_->SetSelection(i);
        });
        connect(buttons[0], &QPushButton::clicked, this, [this] { editServer(true); });
        connect(buttons[1], &QPushButton::clicked, this, [this] { editServer(false); });
        connect(buttons[2], &QPushButton::clicked, this, [this] {
            if (model_->DeleteSelected()) showModel();
        });
        connect(buttons[3], &QPushButton::clicked, this, [this] {
            model_->ResetServers();
            showModel();
        });
        connect(load_, &QCheckBox::toggled, this, [this](bool on) {
            if (loading_) return;
            model_->SetLoadAlbumInfo(on);
            showModel();
        });
        for (int i = 0; i < 3; ++i)
            connect(source_[i], &QRadioButton::toggled, this, [this, i](bool on) {
                if (!loading_ && on) model_->SetAlbumInfoSource(i);
            });
        connect(save_, &QCheckBox::toggled, this, [this](bool on) {
            if (!loading_) model_->SetSaveAlbumInfo(on);
        });
        connect(path_, &QLineEdit::textChanged, this, [this](const QString& t) {
            if (!loading_) model_->SetLocalCddbDir(t.toStdString());
        });
        connect(browse, &QPushButton::clicked, this, [this] {
            const QString dir = QFileDialog::getExistingDirectory(
                this, L(FreeDBOptionPage::kFolderChooserTitle), path_->text());
            if (!dir.isEmpty()) path_->setText(dir);
        });
        connect(test, &QPushButton::clicked, this, [this] { runTest(); });
        connect(resetEverything, &QPushButton::clicked, this, [this] { resetAll(); });
    }

    void setClientPage(FreeDBClientQtPage* page) { client_ = page; }
    FreeDBOptionPage& model() { return *model_; }

    void load(const CSettings& s) override {
        remember(s);
        model_->Open();
        showModel();
    }
    bool apply(CSettings& s) override {
        busy_ = busy();
        const bool ok = model_->Apply();
        if (!ok) showModel();   // the empty list was reset
        else if (&record() != &s) s.FREEDB = record().FREEDB;
        return ok;
    }
    void cancel(CSettings& s) override {
        model_->Cancel();
        if (&record() != &s) s.FREEDB.CurFreeDBServer = record().FREEDB.CurFreeDBServer;
    }

private:
    void showModel() {
        quietly([&] {
            servers_->clear();
            for (const auto& line : model_->lines) servers_->addItem(Q(line));
            servers_->setCurrentIndex(model_->selection);
            load_->setChecked(model_->loadAlbumInfo);
            for (int i = 0; i < 3; ++i) {
                source_[i]->setChecked(model_->albumInfoSource == i);
                source_[i]->setEnabled(model_->SourceEnabled());
            }
            save_->setChecked(model_->saveAlbumInfo);
            path_->setText(Q(model_->localCddbDir));
        });
    }
    void editServer(bool add);
    void runTest();
    void resetAll();

    std::shared_ptr<FreeDBTargets> targets_;
    std::unique_ptr<FreeDBOptionPage> model_;
    FreeDBClientQtPage* client_ = nullptr;
    bool busy_ = false;
    QComboBox* servers_;
    QCheckBox* load_;
    QRadioButton* source_[3];
    QCheckBox* save_;
    QLineEdit* path_;
};

// ------------------------------------------------------------------------------ FreeDB::Client

class FreeDBClientQtPage : public BoundPage {
public:
    FreeDBClientQtPage(const PageContext& c, std::shared_ptr<FreeDBTargets> targets)
        : BoundPage(QStringLiteral("FreeDB::Client"), c), targets_(std::move(targets)) {
        model_ = std::make_unique<FreeDBClientPage>(record(), targets_->services->client, &busy_);
        auto* root = new QVBoxLayout(this);
        auto* grid = new QGridLayout;
        user_ = new QLineEdit(this);
        app_ = new QLineEdit(this);
        version_ = new QLineEdit(this);
        const std::pair<const char*, QLineEdit*> rows[] = {
            {"Username:", user_}, {"Application (FreeDB Aware Only):", app_}, {"Version     (FreeDB Aware Only):", version_}};
        int r = 0;
        for (const auto& [text, edit] : rows) {
            auto* label = new QLabel(L(text), this);
            label->setBuddy(edit);
            grid->addWidget(label, r, 0);
            grid->addWidget(edit, r++, 1);
        }
        root->addLayout(grid);

        useProxy_ = Check(this, "Use Proxy");
        root->addWidget(useProxy_);
        auto* proxyGrid = new QGridLayout;
        proxy_ = new QLineEdit(this);
        port_ = new QSpinBox(this);
        port_->setRange(1, 65535);
        proxyGrid->addWidget(new QLabel(L("Proxy:"), this), 0, 0);
        proxyGrid->addWidget(proxy_, 0, 1);
        proxyGrid->addWidget(new QLabel(L("Port:"), this), 0, 2);
        proxyGrid->addWidget(port_, 0, 3);
        root->addLayout(proxyGrid);
        auth_ = Check(this, "Authentication");
        root->addWidget(auth_);
        auto* authGrid = new QGridLayout;
        proxyUser_ = new QLineEdit(this);
        proxyPassword_ = new QLineEdit(this);
        proxyPassword_->setEchoMode(QLineEdit::Password);
        authGrid->addWidget(new QLabel(L("Username:"), this), 0, 0);
        authGrid->addWidget(proxyUser_, 0, 1);
        authGrid->addWidget(new QLabel(L("Password:"), this), 1, 0);
        authGrid->addWidget(proxyPassword_, 1, 1);
        root->addLayout(authGrid);
        root->addStretch();

        const std::pair<QLineEdit*, std::string CddbClientFields::*> texts[] = {
            {user_, &CddbClientFields::username}, {app_, &CddbClientFields::application},
            {version_, &CddbClientFields::version}, {proxy_, &CddbClientFields::proxyUrl},
            {proxyUser_, &CddbClientFields::proxyUsername}, {proxyPassword_, &CddbClientFields::proxyPassword}};
        for (const auto& [edit, field] : texts)
            connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& t) {
                if (loading_) return;
                (*model_).*field = t.toStdString();
                model_->modified = true;
            });
        connect(port_, &QSpinBox::valueChanged, this, [this](int v) {
            if (loading_) return;
            model_->proxyPort = v;
            model_->modified = true;
        });
        connect(useProxy_, &QCheckBox::toggled, this, [this](bool on) {
            if (loading_) return;
            model_->SetUseProxy(on);
            showModel();
        });
        connect(auth_, &QCheckBox::toggled, this, [this](bool on) {
            if (loading_) return;
            model_->SetAuthentication(on);
            showModel();
        });
    }

    FreeDBClientPage& model() { return *model_; }

    void load(const CSettings& s) override {
        remember(s);
        model_->Open();
        showModel();
    }
    bool apply(CSettings& s) override {
        busy_ = busy();
        if (!model_->Apply()) return false;
        if (&record() != &s) s.FREEDB = record().FREEDB;
        return true;
    }
    // The "FreeDB" page's Reset: the fields again from the settings.
    void reload() {
        model_->Open();
        showModel();
    }

private:
    void showModel() {
        quietly([&] {
            user_->setText(Q(model_->username));
            app_->setText(Q(model_->application));
            version_->setText(Q(model_->version));
            useProxy_->setChecked(model_->useProxy);
            proxy_->setText(Q(model_->proxyUrl));
            port_->setValue(model_->proxyPort);
            auth_->setChecked(model_->authentication);
            proxyUser_->setText(Q(model_->proxyUsername));
            proxyPassword_->setText(Q(model_->proxyPassword));
            proxy_->setEnabled(model_->ProxyFieldsEnabled());
            port_->setEnabled(model_->ProxyFieldsEnabled());
            auth_->setEnabled(model_->AuthenticationEnabled());
            proxyUser_->setEnabled(model_->CredentialFieldsEnabled());
            proxyPassword_->setEnabled(model_->CredentialFieldsEnabled());
        });
    }

    std::shared_ptr<FreeDBTargets> targets_;
    std::unique_ptr<FreeDBClientPage> model_;
    bool busy_ = false;
    QLineEdit *user_, *app_, *version_, *proxy_, *proxyUser_, *proxyPassword_;
    QSpinBox* port_;
    QCheckBox *useProxy_, *auth_;
};

void FreeDBPage::editServer(bool add) {
    FreeDBServerEditor editor = FreeDBServerEditor::New();
    if (!add && !model_->EditorForSelection(editor)) return;
    for (;;) {
        ServerEditorDialog dialog(editor, add, this);
        if (dialog.exec() != QDialog::Accepted) return;
        editor = dialog.editor();
        std::string why;
        if (add ? model_->Add(editor, &why) : model_->ReplaceSelected(editor, &why)) break;
        context().prompter->Message("Cannot use this server: " + why + ".", MessageIcon::Warning,
                                    FreeDBServerEditor::kCaption);
    }
    showModel();
}

void FreeDBPage::resetAll() {
    model_->ResetAll(client_ ? &client_->model() : nullptr);
    showModel();
    if (client_) client_->reload();
}

void FreeDBPage::runTest() {
    ServerTestSetup setup;
    FreeDBClientPage fallback(record(), targets_->services->client);
    if (!client_) fallback.Open();
    if (!MakeServerTestSetup(*model_, client_ ? client_->model() : fallback, setup)) {
        context().prompter->Message("Please select a FreeDB server to test.", MessageIcon::Warning);
        return;
    }
    // Steps 2 and 3 need a ready audio disc: the table of contents the last refresh read.
    if (MainContext* m = context().main) {
        bool allAudio = !m->rows.empty() && m->hasAudio && !busy();
        for (const TrackRow& row : m->rows) allAudio = allAudio && row.audio;
        try {
            allAudio = allAudio && m->grabber.DriveCount() > 0 && m->grabber.Drive().DiscState() != kNoDisc;
        } catch (const std::exception&) {
            allAudio = false;
        }
        if (allAudio) {
            setup.discToc = [toc = m->toc](CCDDBToc& out) {
                out = toc;
                return true;
            };
        }
    }
    auto* dialog = new ServerTestDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!dialog->start(std::move(setup), context().prompter, context().log)) {
        delete dialog;
        return;
    }
    dialog->open();
}

// ------------------------------------------------------------------------------ Driver

class DriverPage : public BoundPage {
public:
    explicit DriverPage(const PageContext& c) : BoundPage(QStringLiteral("Driver"), c) {
        auto* root = new QVBoxLayout(this);
        auto* modes = RadioBox<QVBoxLayout>(this, root, "Ripping Mode", ReadModeCaptions(), mode_);
        auto* rereadRow = new QHBoxLayout;
        auto* rereadLabel = new QLabel(L("Reread Attempts on Read or Synch Errors:"), this);
        rereads_ = new QLineEdit(this);
        rereads_->setMaximumWidth(80);
        rereadLabel->setBuddy(rereads_);
        rereadRow->addWidget(rereadLabel);
        rereadRow->addWidget(rereads_);
        rereadRow->addStretch();
        root->addLayout(rereadRow);
        auto* actions = RadioBox<QHBoxLayout>(this, root, "Action on Unrecoverable Read Errors", ErrorActionCaptions(),
                                              action_);
        auto* resetRow = new QHBoxLayout;
        auto* reset = new QPushButton(L("Reset"), this);
        resetRow->addStretch();
        resetRow->addWidget(reset);
        root->addLayout(resetRow);
        root->addStretch();

        connect(modes, &QButtonGroup::idToggled, this, [this](int id, bool on) {
            if (loading_ || !on) return;
            model_.ChooseReadMode(id);
            showModel();
        });
        connect(actions, &QButtonGroup::idToggled, this, [this](int id, bool on) {
            if (!loading_ && on) model_.ChooseErrorAction(id);
        });
        connect(rereads_, &QLineEdit::textChanged, this, [this](const QString& t) {
            if (!loading_) model_.SetRereadText(t.toStdString());
        });
        connect(reset, &QPushButton::clicked, this, [this] {
            model_.Reset(record());
            showModel();
        });
    }

    void load(const CSettings& s) override {
        remember(s);
        model_.Open(s);
        showModel();
    }
    bool apply(CSettings& s) override {
        int driveRereads = s.DISC.GrabOnErrorRetries;
        if (MainContext* m = context().main) {
            try {
                if (m->grabber.DriveCount() > 0) driveRereads = m->grabber.Drive().ReadRetries();
            } catch (const std::exception&) {
            }
        }
        const bool ok = model_.Apply(s, busy(), *context().prompter, driveRereads);
        showModel();
        return ok;
    }

private:
    void showModel() {
        quietly([&] {
            for (std::size_t i = 0; i < mode_.size(); ++i) mode_[i]->setChecked(model_.readMode == static_cast<int>(i));
            for (std::size_t i = 0; i < action_.size(); ++i)
                action_[i]->setChecked(model_.errorAction == static_cast<int>(i));
            rereads_->setText(Q(model_.rereadText));
        });
    }

    CDiscReadingOptions model_;
    std::vector<QRadioButton*> mode_, action_;
    QLineEdit* rereads_;
};

}  // namespace

PageList MakeGeneralPages(const PageContext& context) {
    PageList pages;
    auto targets = std::make_shared<FreeDBTargets>(context);
    pages.push_back(std::make_unique<OutputPage>(context));
    auto freedb = std::make_unique<FreeDBPage>(context, targets);
    auto client = std::make_unique<FreeDBClientQtPage>(context, targets);
    freedb->setClientPage(client.get());
    pages.push_back(std::move(freedb));
    pages.push_back(std::move(client));
    pages.push_back(std::make_unique<DriverPage>(context));
    return pages;
}

}  // namespace quarrow::ui
