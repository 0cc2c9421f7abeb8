// ShowPage on a page of 65,535 entries, and the decimal/hexadecimal switch on
// it, through the real window (offscreen), including the repaint.
//   showpage_bench FILE    (gen_tree.py --huge entries writes one)
#include "ui/main.h"
#include "ui/taglistmodel.h"

#include <QApplication>
#include <QToolButton>

#include <benchmark/benchmark.h>

namespace {

QString g_file;

void settle()
{
    QApplication::processEvents();
}

void BM_ShowPage(benchmark::State& state)
{
    TForm1 form;
    form.show();
    form.LoadFile(g_file, 1);
    settle();
    for (auto _ : state) {
        form.ShowPage(1);
        settle();
    }
    const auto rows = form.ListModel->rowCount();
    state.counters["rows"] = rows;
    state.counters["per_row"] = benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SwitchDisplayMode(benchmark::State& state)
{
    TForm1 form;
    form.show();
    form.LoadFile(g_file, 1);
    settle();
    bool hex = false;
    for (auto _ : state) {
        hex = !hex;
        (hex ? form.tb16 : form.tb10)->click();
        settle();
    }
    const auto rows = form.ListModel->rowCount();
    state.counters["per_row"] = benchmark::Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(BM_ShowPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SwitchDisplayMode)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velquin"));
    benchmark::Initialize(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: showpage_bench FILE\n");
        return 2;
    }
    g_file = QString::fromLocal8Bit(argv[1]);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
