#include "dialogue/conversion.hpp"

#include "dataset/header.hpp"
#include "dataset/names.hpp"
#include "dataset/open.hpp"
#include "dialogue/reply.hpp"
#include "products/image.hpp"
#include "products/parameter_copy.hpp"
#include "products/product_file.hpp"

#include <fstream>
#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace {

constexpr const char* creditLine = "Extracts single and difference CITS images from spectroscopy data sets.";

// The chosen conversion: the image texts as typed and the file they name.
struct ImageChoice {
    int option = 1;
    std::string first;
    std::string second;  // empty for a single image
    std::string fileName;
};

// A failure of the run: the reason, then "Doh!", each on a line of its own.
int fail(std::ostream& out, const char* reason)
{
    out << reason << std::endl << "Doh!" << std::endl;
    return 1;
}

void writeBanner(std::ostream& out)
{
    out << "Quellor image format conversion programme" << std::endl
        << std::endl
        << "Version 3.3" << std::endl
        << std::endl
        << creditLine << std::endl
        << std::endl;
}

// Shows the menu until the option is 1 or 2; nothing at the end of input.
std::optional<int> chooseOption(std::istream& in, std::ostream& out)
{
    for (;;) {
        out << "1. Single CITS image" << std::endl
            << std::endl
            << "2. Difference CITS image" << std::endl
            << std::endl;
        const std::optional<std::string> option =
            readReply(in, out, "Please enter option:", "Option must be a number!");
        if (!option)
            return std::nullopt;
        const std::int64_t value = replyValue(*option);
        if (value == 1 || value == 2)
            return static_cast<int>(value);
        out << "Options are 1 to 2!" << std::endl;
    }
}

// Asks for one image (option 1) or two (option 2), each followed by an
// empty line, and names the image file.
std::optional<ImageChoice> chooseImages(std::istream& in, std::ostream& out, int option,
                                        const std::string& fileNumber, std::int64_t imageCount)
{
    ImageChoice choice;
    choice.option = option;
    const char* firstPrompt = option == 1 ? "Enter the number of the CITS image:"
                                          : "Enter the number of the first CITS image:";
    std::optional<std::string> first = chooseImage(in, out, firstPrompt, imageCount);
    if (!first)
        return std::nullopt;
    out << std::endl;
    choice.first = *first;
    if (option == 1) {
        choice.fileName = singleImageFileName(fileNumber, choice.first);
        return choice;
    }
    std::optional<std::string> second =
        chooseImage(in, out, "Enter the number of the CITS image to subtract:", imageCount);
    if (!second)
        return std::nullopt;
    out << std::endl;
    choice.second = *second;
    choice.fileName = differenceImageFileName(fileNumber, choice.first, choice.second);
    return choice;
}

// Writes the chosen image as a new image file and closes the spectroscopy
// file. Returns 0 when the image file is in place; otherwise reports and
// returns 1, with the image file's name holding what it held before.
int writeImageFile(std::ifstream& spectroscopy, const ParameterHeader& header,
                   const ImageChoice& choice, std::ostream& out)
{
    ProductFile image;
    if (!image.open(choice.fileName))
        return fail(out, "Can't open the output file");

    const ImageResult result =
        choice.option == 1
            ? writeSingleImage(spectroscopy, image.stream(), header, replyValue(choice.first))
            : writeDifferenceImage(spectroscopy, image.stream(), header, replyValue(choice.first),
                                   replyValue(choice.second));
    spectroscopy.close();

    if (result.status == ImageStatus::readFailed) {
        image.discard();
        return fail(out, "Can't read spectroscopy file");
    }
    if (result.status != ImageStatus::written || !image.commit())
        return fail(out, "Can't write the output file");
    if (result.missingPixels > 0) {
        const auto columns = static_cast<std::uint64_t>(header.columns);
        out << "Spectroscopy file ends early: " << result.missingPixels << " of " << result.pixels
            << " pixels written as 0 (from line " << result.firstMissingPixel / columns
            << ", column " << result.firstMissingPixel % columns << ")" << std::endl;
    }
    return 0;
}

}  // namespace

int runConversion(std::istream& in, std::ostream& out)
{
    writeBanner(out);
    const std::optional<std::string> fileNumber =
        readReply(in, out, "Enter filenumber of spectroscopy file:", "Please enter a number");
    if (!fileNumber)
        return 1;
    out << std::endl;

    std::ifstream spectroscopy;
    ParameterHeader header;
    // A data set without CITS images fails here too: every image number
    // would be out of range, and the question could never end.
    const DataSetStatus dataSet = openDataSet(*fileNumber, spectroscopy, header);
    if (dataSet != DataSetStatus::opened)
        return fail(out, dataSetFailure(dataSet));

    const std::optional<int> option = chooseOption(in, out);
    if (!option)
        return 1;
    const std::optional<ImageChoice> choice =
        chooseImages(in, out, *option, *fileNumber, header.imageCount);
    if (!choice)
        return 1;
    if (writeImageFile(spectroscopy, header, *choice, out) != 0)
        return 1;

    if (copyParameterFile(*fileNumber, choice->fileName, out) != 0) {
        out << "Couldn't copy parameter file!" << std::flush;
        return 1;
    }
    out << "Done. File created as " << choice->fileName << std::endl
        << "Parameter file copied" << std::endl;
    return 0;
}
