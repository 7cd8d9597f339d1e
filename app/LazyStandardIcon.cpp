#include "LazyStandardIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <optional>

namespace {

class CLazyStandardIconEngine : public QIconEngine {
public:
    CLazyStandardIconEngine(QStyle::StandardPixmap picture, const QWidget* widget)
        : m_picture(picture), m_widget(widget)
    {}

    QIconEngine* clone() const override { return new CLazyStandardIconEngine(*this); }
    QString key() const override { return QStringLiteral("CLazyStandardIconEngine"); }
    bool isNull() override { return For(QSize(1, 1)).isNull(); }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return For(size).actualSize(size, mode, state);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return For(size).pixmap(size, mode, state);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        // `size` is in device pixels: the picture must hold that many.
        const QSizeF logical = QSizeF(size) / scale;
        return For(size).pixmap(logical.toSize(), scale, mode, state);
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        For((QSizeF(rect.size()) * scale).toSize()).paint(painter, rect, Qt::AlignCenter, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return Full().availableSizes(mode, state);
    }

private:
    QStyle* Style() const { return m_widget ? m_widget->style() : QApplication::style(); }

    // The small icon while `pixels` fits its picture, the style's whole icon from then on.
    const QIcon& For(const QSize& pixels)
    {
        if (!m_full) {
            if (!m_small) {
                const QPixmap picture = Style()->standardPixmap(m_picture, nullptr, m_widget);
                m_small = picture.isNull() ? QIcon() : QIcon(picture);
                m_smallSize = picture.size();
            }
            if (!m_small->isNull() && pixels.width() <= m_smallSize.width() && pixels.height() <= m_smallSize.height())
                return *m_small;
        }
        return Full();
    }

    const QIcon& Full()
    {
        if (!m_full) m_full = Style()->standardIcon(m_picture, nullptr, m_widget);
        return *m_full;
    }

    QStyle::StandardPixmap m_picture;
    QPointer<const QWidget> m_widget;
    std::optional<QIcon> m_small;
    QSize m_smallSize;
    std::optional<QIcon> m_full;
};

}   // namespace

QIcon LazyStandardIcon(QStyle::StandardPixmap picture, const QWidget* widget)
{
    return QIcon(new CLazyStandardIconEngine(picture, widget));
}
