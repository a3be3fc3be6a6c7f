#include "views/shell/PreviewWindow.h"

#include "design/SymbolIcons.h"
#include "design/TaldoTheme.h"
#include "support/ByteCountFormatter.h"
#include "views/common/ViewText.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using QuickLookService::PreviewKind;

enum Page { picturePage, textPage, infoPage };

QString dateText(const QDateTime& date) {
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString symbolFor(PreviewKind kind) {
    switch (kind) {
    case PreviewKind::image: return QStringLiteral("photo");
    case PreviewKind::text: return QStringLiteral("doc.text");
    case PreviewKind::folder: return QStringLiteral("folder.fill");
    case PreviewKind::other: return QStringLiteral("doc");
    case PreviewKind::missing: return QStringLiteral("xmark.circle.fill");
    }
    return QStringLiteral("doc");
}

QString sizeText(qint64 bytes) {
    const QString formatted = ByteCountFormatter::fileStyle(bytes);
    if (bytes < 1000) return formatted;
    return formatted + QStringLiteral(" (") + QString::number(bytes) + QStringLiteral(" bytes)");
}

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window | Qt::Tool) {
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview"));
    resize(640, 520);
    setMinimumSize(320, 240);
    pool_.setMaxThreadCount(1);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, TaldoTheme::panelSolid());
    colours.setColor(QPalette::WindowText, TaldoTheme::textPrimary());
    setPalette(colours);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    icon_ = new QLabel(this);
    icon_->setFixedSize(32, 32);
    header->addWidget(icon_);
    auto* names = new QVBoxLayout;
    names->setSpacing(2);
    title_ = ViewText::label(QString(), 15, QFont::Bold, TaldoTheme::textPrimary(), this);
    title_->setObjectName(QStringLiteral("previewTitle"));
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    subtitle_ = ViewText::label(QString(), 12, QFont::Normal, TaldoTheme::textSecondary(), this);
    subtitle_->setObjectName(QStringLiteral("previewSubtitle"));
    names->addWidget(title_);
    names->addWidget(subtitle_);
    header->addLayout(names, 1);
    layout->addLayout(header);

    pages_ = new QStackedWidget(this);
    picture_ = new QLabel(pages_);
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setMinimumSize(1, 1);
    picture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    text_ = new QPlainTextEdit(pages_);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* info = new QWidget(pages_);
    auto* infoLayout = new QVBoxLayout(info);
    infoLayout->addStretch(1);
    bigIcon_ = new QLabel(info);
    bigIcon_->setAlignment(Qt::AlignCenter);
    infoLayout->addWidget(bigIcon_);
    infoLayout->addStretch(1);
    pages_->insertWidget(picturePage, picture_);
    pages_->insertWidget(textPage, text_);
    pages_->insertWidget(infoPage, info);
    layout->addWidget(pages_, 1);

    details_ = ViewText::label(QString(), 12, QFont::Normal, TaldoTheme::textSecondary(), this);
    details_->setObjectName(QStringLiteral("previewDetails"));
    details_->setWordWrap(true);
    details_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(details_);
    note_ = ViewText::label(QString(), 12, QFont::Normal, TaldoTheme::warning(), this);
    note_->setObjectName(QStringLiteral("previewNote"));
    note_->setWordWrap(true);
    note_->hide();
    layout->addWidget(note_);
}

PreviewWindow::~PreviewWindow() {
    // Results still on their way find the window gone and are dropped.
    ++generation_;
    pool_.waitForDone();
}

void PreviewWindow::showPath(const QString& path) {
    const quint64 generation = ++generation_;
    requestedPath_ = path;
    title_->setText(path.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty));
    setWindowTitle(title_->text().isEmpty() ? path : title_->text());
    QPointer<PreviewWindow> self(this);
    pool_.start([self, path, generation] {
        QuickLookService::Preview preview = QuickLookService::inspect(path);
        QMetaObject::invokeMethod(
            qApp,
            [self, preview = std::move(preview), generation] {
                if (!self || self->generation_ != generation) return;
                self->present(preview);
                emit self->loaded(preview.path);
            },
            Qt::QueuedConnection);
    });
    show();
    raise();
    activateWindow();
}

void PreviewWindow::present(const QuickLookService::Preview& preview) {
    shown_ = preview;
    const QString name = preview.name.isEmpty() ? preview.path : preview.name;
    title_->setText(name);
    subtitle_->setText(preview.kindDescription);
    setWindowTitle(name);
    text_->clear();
    picture_->clear();
    const QString symbol = symbolFor(preview.kind);
    icon_->setPixmap(SymbolIcons::icon(symbol, TaldoTheme::accentTeal(), 32).pixmap(32, 32));
    bigIcon_->setPixmap(SymbolIcons::icon(symbol, TaldoTheme::textSecondary(), 96).pixmap(96, 96));

    switch (preview.kind) {
    case PreviewKind::image:
        pages_->setCurrentIndex(picturePage);
        updateImage();
        break;
    case PreviewKind::text:
        text_->setPlainText(preview.text);
        pages_->setCurrentIndex(textPage);
        break;
    case PreviewKind::folder:
    case PreviewKind::other:
    case PreviewKind::missing:
        pages_->setCurrentIndex(infoPage);
        break;
    }
    details_->setText(describe(preview).join(QLatin1Char('\n')));
    note_->setText(preview.note);
    note_->setVisible(!preview.note.isEmpty());
}

QStringList PreviewWindow::detailLines() const {
    return shown_ ? describe(*shown_) : QStringList();
}

QStringList PreviewWindow::describe(const QuickLookService::Preview& preview) {
    QStringList lines;
    switch (preview.kind) {
    case PreviewKind::missing:
        return lines;
    case PreviewKind::folder:
        if (preview.folderCountTruncated)
            lines << QStringLiteral("More than ") + QString::number(preview.folderItemCount) + QStringLiteral(" items");
        else if (preview.folderItemCount == 1)
            lines << QStringLiteral("1 item");
        else
            lines << QString::number(preview.folderItemCount) + QStringLiteral(" items");
        lines << QStringLiteral("Files listed: ") + ByteCountFormatter::fileStyle(preview.folderListedBytes);
        break;
    case PreviewKind::image:
        if (preview.imageSize.isValid())
            lines << QString::number(preview.imageSize.width()) + QStringLiteral(" × ") +
                         QString::number(preview.imageSize.height()) + QStringLiteral(" pixels");
        break;
    case PreviewKind::text:
        if (preview.textTruncated) lines << QStringLiteral("Showing the beginning of the file");
        break;
    case PreviewKind::other:
        if (!preview.linkTarget.isEmpty()) lines << QStringLiteral("Points to ") + preview.linkTarget;
        break;
    }
    if (preview.size) lines << QStringLiteral("Size: ") + sizeText(*preview.size);
    if (preview.created) lines << QStringLiteral("Created: ") + dateText(*preview.created);
    if (preview.modified) lines << QStringLiteral("Modified: ") + dateText(*preview.modified);
    return lines;
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Space) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (shown_ && shown_->kind == PreviewKind::image) updateImage();
}

void PreviewWindow::updateImage() {
    if (!shown_ || shown_->image.isNull()) return;
    const QSize available = picture_->size().boundedTo(shown_->image.size());
    QPixmap pixmap = QPixmap::fromImage(shown_->image);
    if (available.isValid() && available != shown_->image.size())
        pixmap = pixmap.scaled(available, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture_->setPixmap(pixmap);
}

}  // namespace tarnwick
