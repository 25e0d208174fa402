#pragma once

#include <QImage>
#include <QLabel>

// The account picture: drawn scaled into the whole label once it has arrived.
class UserAvatar : public QLabel
{
    Q_OBJECT

public:
    explicit UserAvatar(QWidget* parent = nullptr);

    // Fetches the picture; bytes that are no picture leave the avatar as it was.
    void setUrl(const QString& url);
    // Takes the bytes of a fetched picture; returns whether they were one.
    bool setImageData(const QByteArray& bytes);
    const QImage& image() const { return picture; }

signals:
    void s_loaded(bool ok);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture;
};
