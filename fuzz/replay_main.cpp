// Runs a fuzz harness over files and folders of inputs, without libFuzzer: the committed
// corpus and every input that once crashed are replayed by the ordinary test suite.
#include <QDir>
#include <QFile>

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo path(QString::fromLocal8Bit(argv[i]));
        if (!path.exists() && i > 1)
            continue; // no input has failed yet: the folder of regressions comes with the first
        const QFileInfoList files =
            path.isDir() ? QDir(path.filePath()).entryInfoList(QDir::Files) : QFileInfoList{path};
        for (const QFileInfo &file : files) {
            QFile f(file.filePath());
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file.filePath()));
                return 1;
            }
            const QByteArray data = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
            ++inputs;
        }
    }
    std::printf("%d inputs replayed\n", inputs);
    return inputs > 0 ? 0 : 1;
}
