#pragma once

#include <QVariantMap>
#include <QWidget>

namespace tarnwick {

class AppState;

// The About sheet: brand mark, product name, tagline and version line over a
// dimmed window, with "Website" (opens the product website, the sheet stays)
// and "Close" (clears AppState::showAbout, which takes the sheet away). The
// shell lays it over the whole window while showAbout is true; Escape closes
// it like "Close".
class AboutView : public QWidget {
    Q_OBJECT

public:
    // Keys of the build information the version line is made from.
    static constexpr const char* shortVersionKey = "shortVersion";
    static constexpr const char* buildNumberKey = "buildNumber";

    explicit AboutView(AppState& state, QWidget* parent = nullptr);

    // "Version 2.3 (57) · com.merrowfield4.tarnwick". A missing key, or a value
    // that is not text, reads as "1.0" for the version and "1" for the build.
    static QString versionLine(const QVariantMap& info);
    // The build's own information: the version and build number it was made with.
    static QVariantMap buildInfo();
    // The line for this build.
    static QString versionLine() { return versionLine(buildInfo()); }

    // The card in the middle (360 points wide with its margins).
    QWidget* card() const { return card_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    AppState& state_;
    QWidget* card_ = nullptr;
};

}  // namespace tarnwick
