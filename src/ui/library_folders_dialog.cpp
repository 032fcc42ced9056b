// library_folders_dialog.cpp: the folder list, its buttons and the chooser.
#include "library_folders_dialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "model/texts.h"
#include "ui/plain_text.h"
#include "viewmodel/video_list_view_model.h"

namespace reelkeep {

namespace {

QStringList chooseWithFileDialog(QWidget* parent) {
    const QString folder = QFileDialog::getExistingDirectory(
        parent, reelkeep::tr("Add Folder"), QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    return folder.isEmpty() ? QStringList{} : QStringList{folder};
}

}  // namespace

QString folderStateText(LibraryFolder::State state) {
    switch (state) {
        case LibraryFolder::State::available:
            return reelkeep::tr("Available");
        case LibraryFolder::State::missing:
            return reelkeep::tr("Missing");
        case LibraryFolder::State::unreadable:
            return reelkeep::tr("Cannot be read");
        case LibraryFolder::State::notMounted:
            return reelkeep::tr("Not mounted");
        case LibraryFolder::State::notAnswering:
            return reelkeep::tr("Not answering");
    }
    return {};
}

LibraryFoldersDialog::LibraryFoldersDialog(VideoListViewModel& viewModel, QWidget* parent)
    : QDialog(parent), m_viewModel(viewModel), m_chooser(chooseWithFileDialog) {
    setWindowTitle(reelkeep::tr("Library Folders"));
    setMinimumSize(620, 360);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        plainLabel(reelkeep::tr("Reelkeep lists the videos in these folders and their subfolders."), this));

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("libraryFolderList"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHeaderLabels({reelkeep::tr("Folder"), reelkeep::tr("State"), reelkeep::tr("Videos")});
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(StateColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(CountColumn, QHeaderView::ResizeToContents);
    layout->addWidget(m_list, 1);

    m_note = plainLabel({}, this);
    m_note->setObjectName(QStringLiteral("libraryFolderNote"));
    m_note->setWordWrap(true);
    m_note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(m_note);

    auto* buttons = new QHBoxLayout;
    m_add = new QPushButton(reelkeep::tr("Add Folder…"), this);
    m_add->setObjectName(QStringLiteral("addFolder"));
    m_remove = new QPushButton(reelkeep::tr("Remove"), this);
    m_remove->setObjectName(QStringLiteral("removeFolder"));
    buttons->addWidget(m_add);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    auto* box = new QDialogButtonBox(this);
    m_save = box->addButton(reelkeep::tr("Save and Rescan"), QDialogButtonBox::AcceptRole);
    m_save->setObjectName(QStringLiteral("saveFolders"));
    QPushButton* cancel = box->addButton(QDialogButtonBox::Cancel);
    cancel->setDefault(true);
    buttons->addWidget(box);
    layout->addLayout(buttons);

    connect(m_add, &QPushButton::clicked, this, &LibraryFoldersDialog::addFolders);
    connect(m_remove, &QPushButton::clicked, this, &LibraryFoldersDialog::removeSelectedFolders);
    connect(m_save, &QPushButton::clicked, this, &LibraryFoldersDialog::save);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &LibraryFoldersDialog::refreshButtons);
    // States arrive from the service's thread; edits made meanwhile are kept.
    connect(&viewModel, &VideoListViewModel::libraryFoldersChanged, this, [this] {
        QList<LibraryFolder> checked = m_viewModel.libraryFolders().folders;
        if (m_isEdited) {
            for (LibraryFolder& folder : m_folders)
                for (const LibraryFolder& known : checked)
                    if (known.path == folder.path) folder = known;
        } else {
            m_folders = m_viewModel.libraryFolders().isSample ? QList<LibraryFolder>{} : std::move(checked);
        }
        showFolders();
    });
    // The sample stands in until folders are chosen; it never joins the user's list.
    if (!viewModel.libraryFolders().isSample) m_folders = viewModel.libraryFolders().folders;
    showFolders();
    viewModel.refreshLibraryFolders();
}

void LibraryFoldersDialog::showFolders() {
    const QString overriddenBy = m_viewModel.libraryFolders().overriddenBy;
    m_list->clear();
    for (const LibraryFolder& folder : m_folders) {
        const QString path = QFile::decodeName(folder.path);
        const bool isAvailable = folder.state == LibraryFolder::State::available;
        // A folder added here has no videos listed until the rescan.
        const QString count = isAvailable && !folder.resolvedPath.isEmpty()
                                  ? QLocale().toString(m_viewModel.videoCountIn(folder.resolvedPath))
                                  : QStringLiteral("—");
        auto* row = new QTreeWidgetItem(m_list, {path, folderStateText(folder.state), count});
        row->setToolTip(PathColumn, plainToolTip(path));
        row->setTextAlignment(CountColumn, Qt::AlignRight | Qt::AlignVCenter);
        if (!isAvailable) row->setForeground(StateColumn, QBrush(QColor(0xd7, 0x00, 0x15)));
    }
    if (!overriddenBy.isEmpty())
        m_note->setText(reelkeep::tr("Reelkeep was started with %1, so it reads these folders for this run "
                                     "and the list cannot be changed here. Start it without %1 to use and "
                                     "change your own list.")
                            .arg(overriddenBy));
    else if (m_viewModel.libraryFolders().isSample && !m_isEdited)
        m_note->setText(
            reelkeep::tr("Reelkeep is showing a generated sample library. Add the folders that "
                         "hold your videos."));
    else if (m_viewModel.libraryFolders().isDefault && !m_isEdited)
        m_note->setText(
            reelkeep::tr("These are your standard video folders. Add or remove folders to choose "
                         "your own."));
    else if (m_folders.isEmpty())
        m_note->setText(reelkeep::tr("No folder is chosen: add the folders that hold your videos."));
    else
        m_note->setText({});
    m_note->setVisible(!m_note->text().isEmpty());
    refreshButtons();
}

void LibraryFoldersDialog::refreshButtons() {
    const bool isEditable = m_viewModel.libraryFolders().overriddenBy.isEmpty();
    m_add->setEnabled(isEditable);
    m_remove->setEnabled(isEditable && !m_list->selectedItems().isEmpty());
    m_save->setEnabled(isEditable && m_isEdited);
}

void LibraryFoldersDialog::addFolders() {
    if (!m_viewModel.libraryFolders().overriddenBy.isEmpty()) return;
    for (const QString& chosen : m_chooser(this)) {
        const QByteArray path = QFile::encodeName(chosen);
        if (!path.startsWith('/')) continue;
        const bool isListed = std::any_of(m_folders.begin(), m_folders.end(),
                                          [&](const LibraryFolder& folder) { return folder.path == path; });
        if (isListed) continue;
        // The chooser just opened it; its state is checked again after the rescan.
        m_folders.append(LibraryFolder{path, {}, LibraryFolder::State::available});
        m_isEdited = true;
    }
    showFolders();
}

void LibraryFoldersDialog::removeSelectedFolders() {
    if (!m_viewModel.libraryFolders().overriddenBy.isEmpty()) return;
    QList<int> rows;
    for (QTreeWidgetItem* item : m_list->selectedItems()) rows.append(m_list->indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows)
        if (row >= 0 && row < m_folders.size()) m_folders.removeAt(row);
    m_isEdited = m_isEdited || !rows.isEmpty();
    showFolders();
}

void LibraryFoldersDialog::save() {
    std::vector<QByteArray> folders;
    for (const LibraryFolder& folder : m_folders) folders.push_back(folder.path);
    m_viewModel.setLibraryFolders(std::move(folders));
    accept();
}

}  // namespace reelkeep
