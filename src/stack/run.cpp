#include "stack/run.hpp"

#include "dataset/header.hpp"
#include "dataset/names.hpp"
#include "dataset/open.hpp"
#include "products/parameter_copy.hpp"
#include "products/product_file.hpp"
#include "stack/arguments.hpp"
#include "stack/progress.hpp"
#include "stack/stack.hpp"

#include <fstream>
#include <ostream>

namespace {

int fail(std::ostream& errors, const std::string& reason)
{
    errors << "citsconv-stack: " << reason << std::endl;
    return 1;
}

void reportStack(std::ostream& out, const std::string& name, const ParameterHeader& header, std::int64_t first,
                 std::int64_t last, const StackResult& result)
{
    if (result.missingSamples > 0) {
        const auto columns = static_cast<std::uint64_t>(header.columns);
        out << "Spectroscopy file ends early: " << result.missingSamples << " of " << result.samples
            << " samples written as 0 (from image " << result.firstMissingImage << ", line "
            << result.firstMissingPixel / columns << ", column " << result.firstMissingPixel % columns << ")"
            << std::endl;
    }
    out << "Done. File created as " << name << ": " << last - first + 1 << " CITS images (" << first << "-"
        << last << ") of " << header.columns << " x " << header.rows << " pixels (columns x rows)" << std::endl;
}

}  // namespace

int runStack(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& errors,
             bool showProgress)
{
    const ParsedArguments parsed = parseStackArguments(arguments);
    if (parsed.help) {
        out << stackUsage << std::flush;
        return 0;
    }
    if (!parsed.badUse.empty()) {
        errors << "citsconv-stack: " << parsed.badUse << std::endl << stackUsage << std::flush;
        return 2;
    }
    const StackArguments& asked = parsed.arguments;

    // Unbuffered: the stack is read in large pieces straight into its tiles.
    std::ifstream spectroscopy;
    spectroscopy.rdbuf()->pubsetbuf(nullptr, 0);
    ParameterHeader header;
    const DataSetStatus dataSet = openDataSet(asked.fileNumber, spectroscopy, header);
    if (dataSet != DataSetStatus::opened)
        return fail(errors, dataSetFailure(dataSet));

    const std::int64_t first = asked.wholeDataSet ? 0 : imageNumberValue(asked.first);
    const std::int64_t last = asked.wholeDataSet ? header.imageCount - 1 : imageNumberValue(asked.last);
    if (last >= header.imageCount)
        return fail(errors, "Not in range! CITS images available: 0-" + std::to_string(header.imageCount - 1));
    const std::string name = asked.wholeDataSet ? stackFileName(asked.fileNumber)
                                                : stackRangeFileName(asked.fileNumber, asked.first, asked.last);

    // The copy is made and closed first, the stack moved into place before
    // it, so that a failure before the last move leaves neither.
    ProductFile copy;
    const CopyStatus copyStatus = prepareParameterCopy(asked.fileNumber, name, copy);
    if (copyStatus != CopyStatus::copied)
        return fail(errors, copyFailure(copyStatus));
    ProductFile stack;
    if (!stack.open(name))
        return fail(errors, "Can't open the output file");

    ProgressLine progress(errors, showProgress);
    const StackResult result = writeStack(spectroscopy, stack.stream(), header, first, last,
                                          [&progress](std::uint64_t done, std::uint64_t total) {
                                              progress.update(done, total);
                                          });
    progress.clear();
    if (result.status == StackStatus::readFailed)
        return fail(errors, "Can't read spectroscopy file");
    if (result.status == StackStatus::writeFailed || !stack.commit())
        return fail(errors, "Can't write the output file");
    // Only the move of the complete copy is left to fail here. The stack,
    // complete and in place, may have replaced an earlier one: it stays.
    if (!copy.commit())
        return fail(errors, copyFailure(CopyStatus::writeFailed));
    reportStack(out, name, header, first, last, result);
    out << "Parameter file copied as " << newParameterFileName(name) << std::endl;
    return 0;
}
