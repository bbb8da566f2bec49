// zulan's side of main: where the module and registry are found, the DXF
// drawing with its options for the run, and batches of drawings.
#include "batch.h"
#include "exportfile.h"
#include "hostdrawing.h"
#include "hostmain.h"
#include "text.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <unistd.h>

namespace zulan
{

const char ProgramName[] = "zulan";
const char DrawingHelp[] = "Drawing to open (none: an empty drawing); several with --output-dir";
const char ModuleHelp[] = "Module to load (default: " ZULAN_MODULE_RELATIVE_DIR
                          "/rastello.so from zulan's folder, else rastello.so beside zulan)";
const char RegistryHelp[] = "Registry file (default: $XDG_CONFIG_HOME/zulan/registry.reg)";
const char ExamplesHelp[] = R"(
Many drawings, and settings for this run only:
  zulan --export 'PNG File' --output-dir out/ a.dxf b.dxf   each as out/NAME.png
  zulan -c SAVEBMP --output-dir out/ -j 2 a.dxf b.dxf       two at a time, as BMP
  zulan plan.dxf --set Width=1600 --set Quality=90 --export 'JPEG File' plan.jpg
  zulan plan.dxf --scale 1:100 --dpi 300 --export 'PNG File' plan.png
  zulan plan.dxf --paper A3 --dpi 150 --export 'PNG File' plan.png
  zulan plan.dxf --background black --hide-layers TEXT --export 'PNG File' plan.png
  --set takes the JPEGOPT dialog's control names and checks; nothing set for
  the run is stored. --scale reads the units from $INSUNITS (millimetres when
  unset); --paper fits the drawing to the sheet, turned to its shape.
)";

namespace
{

int WriteEntities(const HostDrawing &drawing, const std::string &path)
{
  try
  {
    ExportFile file(path);
    {
      std::ofstream out(file.WritePath(), std::ios::binary);
      out.imbue(std::locale::classic());
      WriteEntityFile(out, drawing.Flatten());
      out.flush();
      if (!out)
        throw ExportFile::CannotWrite(path, "the write failed");
    }
    file.Commit();
  }
  catch (const ExportFile::Error &error)
  {
    std::cerr << "zulan: " << error.what() << "\n";
    return ExitUsage;
  }
  return 0;
}

// A figure as the parser reads it back, every digit kept.
std::string Figure(double value)
{
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text.precision(17);
  text << value;
  return text.str();
}

std::string ApplyLayers(const RunSettings &settings, const std::string &drawingName, HostDrawing &drawing)
{
  const Document *document = drawing.GetDocument();
  const size_t count = document != nullptr ? document->Layers().size() : 0;
  std::vector<bool> hidden(count);
  for (size_t layer = 0; layer < count; ++layer)
    hidden[layer] = settings.layers.empty() ? document->IsLayerHidden(int(layer)) : true;
  std::string unknown;
  for (const auto &[list, hide] : {std::pair{settings.layers, false}, std::pair{settings.hiddenLayers, true}})
    for (const std::string &name : SplitNames(list))
    {
      bool found = false;
      for (size_t layer = 0; layer < count; ++layer)
        if (Text::EqualNoCase(document->Layers()[layer].name, name))
        {
          hidden[layer] = hide;
          found = true;
        }
      if (!found)
        unknown += (unknown.empty() ? "" : ", ") + name;
    }
  if (!unknown.empty())
  {
    std::string there;
    for (size_t layer = 0; layer < count; ++layer)
      there += (there.empty() ? "" : ", ") + document->Layers()[layer].name;
    return drawingName + ": no layer " + unknown + "; the layers there are: " + (there.empty() ? "none" : there);
  }
  drawing.SetRunHiddenLayers(std::move(hidden));
  return "";
}

// The background and the layers on the open drawing, and the picture size
// when a scale or paper was given. Returns the problem (naming the
// drawing), or "".
std::string PrepareDrawing(const RunSettings &settings, const std::string &drawingName, HostDrawing &drawing,
                           std::optional<PictureSize> &size)
{
  if (const std::optional<uint32_t> colour = ParseColour(settings.background))
    drawing.SetBackground(*colour);
  if (!settings.layers.empty() || !settings.hiddenLayers.empty())
  {
    const std::string problem = ApplyLayers(settings, drawingName, drawing);
    if (!problem.empty())
      return problem;
  }
  size.reset();
  if (!settings.SizesPicture())
    return "";
  const Box extents = drawing.VisibleExtents();
  if (extents.IsEmpty())
    return drawingName + ": nothing is shown, so there is no size to scale";
  const Document *document = drawing.GetDocument();
  const int units = document->UnitsCode();
  // Unset means millimetres; a unitless drawing, or a unit the loader does
  // not know, gives no length to scale by (a sheet fits any units).
  const bool unknownUnits = units != -1 && units != 4 && (units == 0 || document->UnitsPerMillimetre() == 1);
  if (unknownUnits && !settings.scale.empty())
    return drawingName + ": "
           + (units == 0 ? std::string("its $INSUNITS is 0 (unitless)")
                         : "$INSUNITS " + std::to_string(units) + " is not a unit of length zulan knows")
           + ", so a scale has no length to go by; set $INSUNITS in the drawing, or use --paper";
  const double perMillimetre = document->UnitsPerMillimetre();
  const double width = (extents.maxX - extents.minX) / perMillimetre;
  const double height = (extents.maxY - extents.minY) / perMillimetre;
  PictureSize found;
  const std::string problem = settings.scale.empty()
                                ? SizeFromPaper(width, height, *ParsePaper(settings.paper), settings.dpi, found)
                                : SizeFromScale(width, height, *ParseScale(settings.scale), settings.dpi, found);
  if (!problem.empty())
    return drawingName + ": " + problem;
  size = found;
  return "";
}

// The options every drawing's run of a batch repeats.
std::vector<std::string> RunArguments(const MainOptions &options)
{
  std::vector<std::string> arguments = {"--module", options.modulePath, "--registry", options.registryPath};
  const RunSettings &run = options.run;
  const std::pair<const char *, const std::string *> texts[] = {
    {"--clipboard", &options.clipboard}, {"--scale", &run.scale},   {"--paper", &run.paper},
    {"--background", &run.background},   {"--layers", &run.layers}, {"--hide-layers", &run.hiddenLayers}};
  for (const auto &[option, text] : texts)
    if (!text->empty())
      arguments.insert(arguments.end(), {option, *text});
  if (run.dpi != 0)
    arguments.insert(arguments.end(), {"--dpi", Figure(run.dpi)});
  for (const std::string &word : run.controlWords)
    arguments.insert(arguments.end(), {"--set", word});
  if (options.hairlines)
    arguments.push_back("--hairlines");
  if (options.antialias)
    arguments.push_back("--antialias");
  return arguments;
}

}  // namespace

bool IsTerminal(std::FILE *stream)
{
  return isatty(fileno(stream)) != 0;
}

// Installed, the module lives in its own folder (ZULAN_MODULE_RELATIVE_DIR
// from zulan's); in the build tree it is beside zulan.
std::string DefaultModulePath()
{
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error)
    return "rastello.so";
  const std::filesystem::path installed = self.parent_path() / ZULAN_MODULE_RELATIVE_DIR / "rastello.so";
  if (std::filesystem::exists(installed, error))
    return installed.lexically_normal().string();
  return (self.parent_path() / "rastello.so").string();
}

std::string DefaultRegistryPath()
{
  const char *config = std::getenv("XDG_CONFIG_HOME");
  std::string folder;
  if (config != nullptr && config[0] == '/')
    folder = config;
  else if (const char *home = std::getenv("HOME"))
    folder = std::string(home) + "/.config";
  else
    folder = ".";
  return folder + "/zulan/registry.reg";
}

void AddHostOptions(CLI::App &app, MainOptions &options)
{
  app.add_flag("--hairlines", options.hairlines, "Draw every line one pixel wide, whatever its line weight");
  app.add_flag("--antialias", options.antialias,
               "Smooth lines, fills and text (exports then hold colours beyond the palette's)");
  app
    .add_option("--write-entities", options.entitiesPath,
                "Write the drawing as plain geometry for the Windows test host (zulan32), and stop")
    ->type_name("FILE");
  RunSettings &run = options.run;
  app.add_option("--set", run.controlWords, "For this run only, set a JPEGOPT control: --set Quality=90")
    ->allow_extra_args(false)
    ->type_name("NAME=VALUE");
  app.add_option("--scale", run.scale, "Size the picture at this scale (with --dpi): --scale 1:100")
    ->type_name("PAPER:DRAWING");
  app.add_option("--paper", run.paper, "Size the picture to fit this sheet (with --dpi): A0-A6, Letter, 420x297")
    ->type_name("SIZE");
  app.add_option("--dpi", run.dpi, "Resolution for --scale and --paper, in dots per inch")->type_name("DPI");
  app.add_option("--background", run.background, "The drawing's background for this run: white, black or #rrggbb")
    ->type_name("COLOUR");
  app.add_option("--layers", run.layers, "Show only these layers: --layers WALLS,DOORS")->type_name("A,B");
  app.add_option("--hide-layers", run.hiddenLayers, "Hide these layers: --hide-layers TEXT")->type_name("A,B");
  app
    .add_option("--output-dir", options.outputFolder,
                "Export every drawing given into this folder, as NAME and the filter's ending")
    ->type_name("FOLDER");
  app.add_option("-j,--jobs", options.jobs, "With --output-dir, drawings exported side by side (default: one a core)")
    ->check(CLI::Range(1, 256))
    ->type_name("N");
}

std::optional<int> OpenDrawing(const MainOptions &options, const std::string &path,
                               std::optional<std::pair<int32_t, int32_t>> &size)
{
  // Outlives the run: the module reaches it through the exported operations
  // until it is unloaded.
  static HostDrawing drawing;
  SetCurrentDrawing(&drawing);
  drawing.SetHairlines(options.hairlines);
  if (options.antialias)
    drawing.SetAntialias(true);
  if (!path.empty())
  {
    const std::string error = drawing.Open(path);
    if (!error.empty())
    {
      std::cerr << "zulan: " << error << "\n";
      return ExitDrawing;
    }
    for (const std::string &warning : drawing.Warnings())
      std::cerr << "zulan: " << warning << "\n";
  }
  std::optional<PictureSize> picture;
  const std::string problem = PrepareDrawing(options.run, path.empty() ? "the empty drawing" : path, drawing, picture);
  if (!problem.empty())
  {
    std::cerr << "zulan: " << problem << "\n";
    return ExitUsage;
  }
  if (picture)
  {
    if (!picture->note.empty())
      std::cerr << "zulan: " << (path.empty() ? "" : path + ": ") << picture->note << "\n";
    size = std::pair<int32_t, int32_t>(int32_t(picture->width), int32_t(picture->height));
  }
  if (!options.entitiesPath.empty())
    return WriteEntities(drawing, options.entitiesPath);
  return std::nullopt;
}

int RunBatchCommand(const MainOptions &options, const char *self, const std::string &filter, const std::string &ending)
{
  Batch batch;
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  batch.self = error ? self : executable.string();
  batch.drawings = options.drawings;
  batch.filter = filter;
  batch.outputFolder = options.outputFolder;
  batch.arguments = RunArguments(options);
  batch.jobs = options.jobs > 0 ? options.jobs : AvailableProcessors();
  batch.live = IsTerminal(stderr);
  const std::string problem = BatchOutputs(batch.drawings, batch.outputFolder, ending, batch.outputs);
  if (!problem.empty())
  {
    std::cerr << "zulan: " << problem << "\n";
    return ExitUsage;
  }
  std::filesystem::create_directories(options.outputFolder, error);
  if (error)
  {
    std::cerr << "zulan: cannot make the folder " << options.outputFolder << ": " << error.message() << "\n";
    return ExitUsage;
  }
  return RunBatch(batch);
}

}  // namespace zulan
