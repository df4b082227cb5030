#include "imagepreload.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QImageReader>
#include <QMutex>
#include <QStringList>
#include <QThreadPool>
#include <QtPlugin>

#include <future>
#include <memory>
#include <utility>
#include <vector>

#ifdef Q_OS_LINUX
#include <pthread.h>
#include <sched.h>
#endif

namespace {

struct Pending
{
    QMutex mutex; // guards images: filled by preloadImages(), each entry taken by the first read
    QHash<QString, std::shared_future<QImage>> images;
};

Pending &pending()
{
    static Pending p;
    return p;
}

bool isPending(const QString &path)
{
    QMutexLocker lock(&pending().mutex);
    return pending().images.contains(path);
}

std::shared_future<QImage> take(const QString &path)
{
    QMutexLocker lock(&pending().mutex);
    return pending().images.take(path); // an invalid future when it is not (or no longer) there
}

// The toolkit's own PNG decoder. Read from a buffer, not the file, with the format named and
// detection off, the reader asks no plugin but the one below, which declines anything that is
// not a pending file.
QImage decodePng(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QImage();
    QByteArray bytes = file.readAll();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    // The form raster pixmaps keep images with transparency in: converted here, off the GUI
    // thread, rather than when the pixmap is made.
    if (image.hasAlphaChannel())
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return image;
}

class PreloadedPngHandler : public QImageIOHandler
{
public:
    explicit PreloadedPngHandler(QString path) : m_path(std::move(path)) {}

    bool canRead() const override
    {
        setFormat("png");
        return true;
    }

    bool read(QImage *image) override
    {
        QImage result;
        const std::shared_future<QImage> decoded = take(m_path);
        try {
            if (decoded.valid())
                result = decoded.get();
        } catch (const std::future_error &) {
            // The decoding task was dropped without running: decode here instead.
        }
        if (result.isNull())
            result = decodePng(m_path);
        if (result.isNull())
            return false;
        *image = std::move(result);
        return true;
    }

private:
    QString m_path;
};

// Registered under the "png" key, so that the reader asks it first about a file named *.png,
// before it would load the other plugins to ask them.
class PreloadedPngPlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "preloadedpng.json")
public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override
    {
        const auto *file = qobject_cast<const QFile *>(device);
        if (file && (format.isEmpty() || format == "png") && isPending(file->fileName()))
            return CanRead;
        return {};
    }

    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        const auto *file = qobject_cast<const QFile *>(device);
        auto *handler = new PreloadedPngHandler(file ? file->fileName() : QString());
        handler->setDevice(device);
        handler->setFormat(format.isEmpty() ? QByteArray("png") : format);
        return handler;
    }
};

// A thread started this early in a process is often put on the CPU of the thread that started
// it (the young process still looks idle to the scheduler). There the two would take turns, and
// the decoding would delay the window by as long as it takes. Kept off the GUI thread's CPU,
// where there is another one, it runs beside it instead.
class CpuPlacement
{
public:
    static CpuPlacement current()
    {
        CpuPlacement p;
#ifdef Q_OS_LINUX
        p.m_cpu = sched_getcpu();
#endif
        return p;
    }

    // Keeps the calling thread off the CPU `from` was on while it lives; puts it back after.
    class Away
    {
    public:
        explicit Away(const CpuPlacement &from)
        {
#ifdef Q_OS_LINUX
            if (from.m_cpu < 0 || pthread_getaffinity_np(pthread_self(), sizeof m_before, &m_before) != 0)
                return;
            cpu_set_t elsewhere = m_before;
            CPU_CLR(from.m_cpu, &elsewhere);
            m_moved = CPU_COUNT(&elsewhere) > 0 &&
                      pthread_setaffinity_np(pthread_self(), sizeof elsewhere, &elsewhere) == 0;
#else
            Q_UNUSED(from)
#endif
        }
        ~Away()
        {
#ifdef Q_OS_LINUX
            if (m_moved)
                pthread_setaffinity_np(pthread_self(), sizeof m_before, &m_before);
#endif
        }
        Away(const Away &) = delete;
        Away &operator=(const Away &) = delete;

    private:
#ifdef Q_OS_LINUX
        cpu_set_t m_before;
        bool m_moved = false;
#endif
    };

private:
    int m_cpu = -1;
};

} // namespace

Q_IMPORT_PLUGIN(PreloadedPngPlugin)

void preloadImages(const QStringList &paths)
{
    auto tasks = std::make_shared<std::vector<std::packaged_task<QImage()>>>();
    {
        QMutexLocker lock(&pending().mutex);
        for (const QString &path : paths) {
            tasks->emplace_back([path] { return decodePng(path); });
            pending().images.insert(path, tasks->back().get_future().share());
        }
    }
    const CpuPlacement gui = CpuPlacement::current();
    // The global pool's threads are joined when the application object goes.
    QThreadPool::globalInstance()->start([tasks, gui] {
        const CpuPlacement::Away away(gui);
        for (auto &task : *tasks)
            task();
    });
}

#include "imagepreload.moc"
