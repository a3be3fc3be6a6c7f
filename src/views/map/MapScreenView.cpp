#include "views/map/MapScreenView.h"

#include "design/SymbolIcons.h"
#include "design/TaldoGhostButton.h"
#include "design/TaldoTheme.h"
#include "models/MapStyle.h"
#include "services/store/QuickLookService.h"
#include "state/AppState.h"
#include "support/ByteCountFormatter.h"
#include "views/map/AnalysisTabBar.h"
#include "views/map/BreadcrumbBar.h"
#include "views/map/CollectorTrayView.h"
#include "views/map/ContentsSidebarView.h"
#include "views/common/ElidedLabel.h"
#include "views/map/FileRecordsList.h"
#include "views/map/FileTypesView.h"
#include "views/common/HairlineDivider.h"
#include "views/map/KeyCatcher.h"
#include "views/map/BarsView.h"
#include "views/map/RingsView.h"
#include "views/map/SunburstView.h"
#include "views/map/TreemapView.h"
#include "views/common/PanelStrip.h"
#include "views/common/SegmentedPicker.h"
#include "views/common/ViewText.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

using T = TaldoTheme;
using Field = AppState::Field;

constexpr int kSidebarWidth = 320;
constexpr int kStylePickerMaxWidth = 420;

TaldoGhostButton* toolbarButton(const QString& title, const QString& symbol, QWidget* parent) {
    auto* button = new TaldoGhostButton(title, parent);
    button->setSymbol(symbol);
    // The space bar belongs to the map's preview, never to a focused button.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// True for widgets that take typed text, which keep the space bar for themselves.
bool isTextInput(const QWidget* widget) {
    if (!widget) return false;
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
        qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget)) {
        return true;
    }
    const auto* combo = qobject_cast<const QComboBox*>(widget);
    return combo && combo->isEditable();
}

bool isCollectCommand(const QKeyEvent* event) {
    if (event->matches(QKeySequence::Delete)) return true;
    return event->key() == Qt::Key_Backspace && (event->modifiers() & Qt::ControlModifier);
}

}  // namespace

MapScreenView::MapScreenView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("MapScreenView"));
    setFocusPolicy(Qt::NoFocus);

    // Behind everything else: the keyboard target of the space bar.
    keyCatcher_ = new KeyCatcher([this] { state_.previewHoveredOrFocus(); }, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildToolbar());
    tabBar_ = new AnalysisTabBar(state_, this);
    layout->addWidget(tabBar_);
    layout->addWidget(new HairlineDivider(Qt::Horizontal, this));

    tabs_ = new QStackedWidget(this);
    tabs_->addWidget(buildMapTab());
    const QString emDash = QStringLiteral("\u2014");
    largest_ = new FileRecordsList(
        QStringLiteral("Largest files"),
        QStringLiteral("Biggest space hogs from the last scan ") + emDash +
            QStringLiteral(" double-click or press Space to preview"),
        QStringLiteral("No large files indexed yet. Rescan a volume."), tabs_);
    oldest_ = new FileRecordsList(
        QStringLiteral("Oldest large files"),
        QStringLiteral("Not modified in 90+ days and at least 512 KB ") + emDash +
            QStringLiteral(" great cleanup candidates"),
        QStringLiteral("No old files matched the filters. Rescan a volume."), tabs_);
    const FileRecordsList::Actions listActions{
        [this](const FileRecord& record) { state_.addFileToCollector(record); },
        [this](const FileRecord& record) { state_.revealInFileManager(record.path); },
        [](const FileRecord& record) { QuickLookService::preview(record.path); },
    };
    largest_->setActions(listActions);
    oldest_->setActions(listActions);
    types_ = new FileTypesView(tabs_);
    tabs_->addWidget(largest_);
    tabs_->addWidget(oldest_);
    tabs_->addWidget(types_);
    layout->addWidget(tabs_, 1);

    tray_ = new CollectorTrayView(state_, this);
    layout->addWidget(tray_);

    connect(&state_, &AppState::changed, this, [this](AppState::Field field) { onStateChanged(int(field)); });
    updateFocus();
    updateHover();
    updateTab();
    updateLists();
    updateRendering();
}

MapScreenView::~MapScreenView() = default;

QWidget* MapScreenView::buildToolbar() {
    auto* toolbar = new PanelStrip(T::panel(), this);
    toolbar->setObjectName(QStringLiteral("mapToolbar"));
    auto* row = new QHBoxLayout(toolbar);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(12);

    volumes_ = toolbarButton(QStringLiteral("Volumes"), QStringLiteral("internaldrive"), toolbar);
    connect(volumes_, &QPushButton::clicked, this, [this] {
        state_.cancelScan();
        state_.refreshVolumes();
        emit volumesRequested();
    });
    row->addWidget(volumes_);

    breadcrumb_ = new BreadcrumbBar(toolbar);
    breadcrumb_->setOnClick([this](const ScanNodePtr& node) {
        state_.setFocusNode(node);
        state_.setHoveredNode(nullptr);
        state_.setSearchQuery(QString());
        state_.setAnalysisTab(AnalysisTab::map);
    });
    row->addWidget(breadcrumb_, 1);

    hoverName_ = new ElidedLabel(QString(), Qt::ElideMiddle, toolbar);
    hoverName_->setObjectName(QStringLiteral("toolbarHoverName"));
    hoverName_->setFont(ViewText::font(12, QFont::Medium));
    hoverName_->setMaximumWidth(240);
    ViewText::setTextColor(hoverName_, T::textPrimary());
    row->addWidget(hoverName_);
    hoverSize_ = ViewText::label(QString(), 12, QFont::Normal, T::accent(), toolbar);
    hoverSize_->setObjectName(QStringLiteral("toolbarHoverSize"));
    row->addWidget(hoverSize_);

    rescan_ = toolbarButton(QStringLiteral("Rescan"), QStringLiteral("arrow.clockwise"), toolbar);
    connect(rescan_, &QPushButton::clicked, this, [this] { state_.rescan(); });
    row->addWidget(rescan_);
    quickLook_ = toolbarButton(QStringLiteral("Preview"), QStringLiteral("eye"), toolbar);
    connect(quickLook_, &QPushButton::clicked, this, [this] { state_.previewHoveredOrFocus(); });
    row->addWidget(quickLook_);
    collect_ = toolbarButton(QStringLiteral("Collect"), QStringLiteral("tray.and.arrow.down"), toolbar);
    connect(collect_, &QPushButton::clicked, this, [this] {
        const ScanNodePtr node = state_.hoveredNode() ? state_.hoveredNode() : state_.focusNode();
        if (node) state_.addToCollector(node);
    });
    row->addWidget(collect_);
    return toolbar;
}

QWidget* MapScreenView::buildMapTab() {
    mapTab_ = new QWidget(this);
    mapTab_->setObjectName(QStringLiteral("mapTab"));
    auto* layout = new QVBoxLayout(mapTab_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* styleRow = new QHBoxLayout;
    styleRow->setContentsMargins(16, 8, 16, 8);
    QStringList styles;
    for (MapStyle style : allMapStyles()) styles << rawValue(style);
    stylePicker_ = new SegmentedPicker(styles, mapTab_);
    stylePicker_->setObjectName(QStringLiteral("stylePicker"));
    stylePicker_->setAccessibleName(QStringLiteral("Style"));
    stylePicker_->setMaximumWidth(kStylePickerMaxWidth);
    connect(stylePicker_, &SegmentedPicker::activated, this,
            [this](int index) { state_.setMapStyle(allMapStyles().value(index, MapStyle::sunburst)); });
    styleRow->addWidget(stylePicker_);
    styleRow->addStretch(1);
    styleHover_ = new ElidedLabel(QString(), Qt::ElideMiddle, mapTab_);
    styleHover_->setObjectName(QStringLiteral("styleRowHover"));
    styleHover_->setFont(ViewText::font(11, QFont::Medium));
    styleHover_->setMaximumWidth(360);
    ViewText::setTextColor(styleHover_, T::textSecondary());
    styleRow->addWidget(styleHover_);
    layout->addLayout(styleRow);

    mapBody_ = new QWidget(mapTab_);
    mapBody_->setObjectName(QStringLiteral("mapBody"));
    auto* body = new QHBoxLayout(mapBody_);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    renderingHost_ = new QStackedWidget(mapBody_);
    renderingHost_->setObjectName(QStringLiteral("renderingHost"));
    body->addWidget(renderingHost_, 1);
    body->addWidget(new HairlineDivider(Qt::Vertical, mapBody_));

    auto* column = new QWidget(mapBody_);
    column->setFixedWidth(kSidebarWidth);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(0);
    auto* filterRow = new PanelStrip(T::panel(), column);
    auto* filterLayout = new QHBoxLayout(filterRow);
    filterLayout->setContentsMargins(12, 8, 12, 8);
    auto* glass = new QLabel(filterRow);
    glass->setPixmap(SymbolIcons::icon(QStringLiteral("magnifyingglass"), T::textSecondary(), 13).pixmap(13, 13));
    filterLayout->addWidget(glass);
    filter_ = new QLineEdit(filterRow);
    filter_->setObjectName(QStringLiteral("contentsFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter contents"));
    filter_->setFrame(false);
    filter_->setFont(ViewText::font(13));
    QPalette palette = filter_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, T::textPrimary());
    palette.setColor(QPalette::PlaceholderText, T::textSecondary());
    filter_->setPalette(palette);
    filter_->setAttribute(Qt::WA_MacShowFocusRect, false);
    connect(filter_, &QLineEdit::textEdited, this, [this](const QString& text) { state_.setSearchQuery(text); });
    filterLayout->addWidget(filter_, 1);
    columnLayout->addWidget(filterRow);

    sidebar_ = new ContentsSidebarView(column);
    sidebar_->setActions({
        [this](const ScanNodePtr& node) { select(node); },
        [this](const ScanNodePtr& node) { state_.addToCollector(node); },
        [this](const ScanNodePtr& node) { state_.revealInFileManager(node->path()); },
    });
    columnLayout->addWidget(sidebar_, 1);
    body->addWidget(column);
    layout->addWidget(mapBody_, 1);
    return mapTab_;
}

void MapScreenView::select(const ScanNodePtr& node) {
    if (!node) return;
    if (ContentsSidebarView::isContainer(*node)) {
        state_.drill(node);
    } else {
        state_.setHoveredNode(node);
    }
}

QString MapScreenView::hoverText(const ScanNode& node) {
    return node.name + QStringLiteral(" \u00B7 ") + ByteCountFormatter::fileStyle(std::max<qint64>(node.size, 0));
}

QWidget* MapScreenView::currentTabContent() const {
    return tabs_->currentWidget();
}

MapView* MapScreenView::rendering() const {
    return state_.focusNode() ? renderings_.value(state_.mapStyle()) : nullptr;
}

QString MapScreenView::toolbarHoverName() const {
    return hoverName_->isHidden() ? QString() : hoverName_->text();
}

void MapScreenView::onStateChanged(int changed) {
    switch (Field(changed)) {
    case Field::focusNode:
        updateFocus();
        updateCollectEnabled();
        break;
    case Field::hoveredNode:
        updateHover();
        break;
    case Field::searchQuery:
        if (filter_->text() != state_.searchQuery()) filter_->setText(state_.searchQuery());
        updateSidebarNodes();
        break;
    case Field::analysisTab:
        updateTab();
        break;
    case Field::mapStyle:
        updateRendering();
        break;
    case Field::insights:
        updateLists();
        break;
    default:
        break;
    }
}

void MapScreenView::updateFocus() {
    const ScanNodePtr& focus = state_.focusNode();
    breadcrumb_->setFocusNode(focus);
    mapBody_->setHidden(!focus);
    updateSidebarNodes();
    updateRendering();
}

void MapScreenView::updateHover() {
    const ScanNodePtr& hovered = state_.hoveredNode();
    hoverName_->setText(hovered ? hovered->name : QString());
    hoverSize_->setText(hovered ? ByteCountFormatter::fileStyle(std::max<qint64>(hovered->size, 0)) : QString());
    styleHover_->setText(hovered ? hoverText(*hovered) : QString());
    hoverName_->setHidden(!hovered);
    hoverSize_->setHidden(!hovered);
    styleHover_->setHidden(!hovered);
    sidebar_->setHovered(hovered);
    for (MapView* view : std::as_const(renderings_)) view->setHovered(hovered);
    updateCollectEnabled();
}

void MapScreenView::updateSidebarNodes() {
    sidebar_->setNodes(state_.filteredSidebarNodes());
}

void MapScreenView::updateTab() {
    switch (state_.analysisTab()) {
    case AnalysisTab::map:
        tabs_->setCurrentWidget(mapTab_);
        break;
    case AnalysisTab::largest:
        tabs_->setCurrentWidget(largest_);
        break;
    case AnalysisTab::oldest:
        tabs_->setCurrentWidget(oldest_);
        break;
    case AnalysisTab::types:
        tabs_->setCurrentWidget(types_);
        break;
    }
}

void MapScreenView::updateLists() {
    const ScanInsights& insights = state_.insights();
    largest_->setRecords(insights.largest);
    oldest_->setRecords(insights.oldest);
    types_->setTypes(insights.types, std::max<qint64>(insights.totalFileBytes, 1));
}

void MapScreenView::updateRendering() {
    const MapStyle style = state_.mapStyle();
    stylePicker_->setCurrentIndex(int(allMapStyles().indexOf(style)));
    // Without a focus the body is hidden; no rendering is made for nothing.
    if (!state_.focusNode() && renderings_.isEmpty()) return;
    renderingFor(style);
    for (MapView* view : std::as_const(renderings_)) view->setRoot(state_.focusNode());
    renderingHost_->setCurrentWidget(renderingPages_.value(style));
}

MapView* MapScreenView::renderingFor(MapStyle style) {
    if (MapView* existing = renderings_.value(style)) return existing;
    MapView* view = nullptr;
    QWidget* page = nullptr;
    switch (style) {
    case MapStyle::sunburst: {
        // The sunburst keeps 16 of room on every side.
        page = new QWidget(renderingHost_);
        auto* margins = new QVBoxLayout(page);
        margins->setContentsMargins(16, 16, 16, 16);
        auto* sunburst = new SunburstView(page);
        sunburst->setMaxDepth(4);
        connect(sunburst, &SunburstView::centerClicked, this, [this] { state_.navigateUp(); });
        margins->addWidget(sunburst);
        view = sunburst;
        break;
    }
    case MapStyle::treemap:
        view = new TreemapView(renderingHost_);
        break;
    case MapStyle::bars:
        view = new BarsView(renderingHost_);
        break;
    case MapStyle::rings:
        view = new RingsView(renderingHost_);
        break;
    }
    if (!page) page = view;
    view->setObjectName(QStringLiteral("mapRendering"));
    view->setFocusPolicy(Qt::NoFocus);
    view->setRoot(state_.focusNode());
    view->setHovered(state_.hoveredNode());
    connect(view, &MapView::hoveredChanged, this, [this](const ScanNodePtr& node) { state_.setHoveredNode(node); });
    connect(view, &MapView::selected, this, [this](const ScanNodePtr& node) { select(node); });
    renderings_.insert(style, view);
    renderingPages_.insert(style, page);
    renderingHost_->addWidget(page);
    return view;
}

void MapScreenView::updateCollectEnabled() {
    collect_->setEnabled(state_.hoveredNode() || state_.focusNode());
}

void MapScreenView::keyPressEvent(QKeyEvent* event) {
    // Keys reach this point when the focused widget inside the screen let them
    // pass; text fields never do for the space bar or Delete.
    if (event->key() == Qt::Key_Space && !isTextInput(QApplication::focusWidget())) {
        if (!event->isAutoRepeat()) state_.previewHoveredOrFocus();
        event->accept();
        return;
    }
    if (isCollectCommand(event)) {
        if (state_.hoveredNode()) state_.addToCollector(state_.hoveredNode());
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MapScreenView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    keyCatcher_->setGeometry(rect());
    keyCatcher_->lower();
}

void MapScreenView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    qApp->installEventFilter(this);
    // Once the screen sits in its window, the key catcher takes the keyboard.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !isTextInput(focusWidget())) keyCatcher_->setFocus(Qt::OtherFocusReason);
    });
}

void MapScreenView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    qApp->removeEventFilter(this);
}

bool MapScreenView::eventFilter(QObject* watched, QEvent* event) {
    // A press anywhere on the screen outside a text field hands the keyboard
    // back, so a filter field once typed in does not keep the space bar.
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if ((widget == this || isAncestorOf(widget)) && !isTextInput(widget)) reclaimKeyboard();
    }
    return QWidget::eventFilter(watched, event);
}

void MapScreenView::reclaimKeyboard() {
    keyCatcher_->setFocus(Qt::MouseFocusReason);
}

}  // namespace tarnwick
