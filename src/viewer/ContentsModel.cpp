#include "viewer/ContentsModel.h"

#include "contents/Authenticode.h"
#include "contents/Hardening.h"
#include "header/ImageReader.h"

#include <algorithm>
#include <exception>
#include <vector>

struct ContentsModel::Node {
    QString item;
    std::optional<uint64_t> number; // shown in the toggle's radix
    QString text; // shown as it is when there is no number
    std::optional<uint64_t> offset;
    uint64_t length = 0;
    Node* parent = nullptr;
    int row = 0;
    std::vector<std::unique_ptr<Node>> children;
    // Children not made yet: how many there will be, and what makes them.
    size_t pending = 0;
    std::function<void(Node&)> fill;
    // What fills a node that reads the file as it is: run again by RecheckFile.
    std::function<void(Node&)> refill;
    // The value's text when it follows the radix toggle as a whole (a difference's words).
    std::function<QString(bool hex)> textOf;
};

namespace {

using Node = ContentsModel::Node;

Node& Add(Node& parent, const QString& item, std::optional<uint64_t> number = {},
    std::optional<uint64_t> offset = {}, uint64_t length = 0, const QString& text = {})
{
    auto node = std::make_unique<Node>();
    node->item = item;
    node->number = number;
    node->offset = offset;
    node->length = length;
    node->text = text;
    node->parent = &parent;
    node->row = static_cast<int>(parent.children.size());
    parent.children.push_back(std::move(node));
    return *parent.children.back();
}

Node& AddText(Node& parent, const QString& item, const std::string& text, std::optional<uint64_t> offset = {},
    uint64_t length = 0)
{
    return Add(parent, item, std::nullopt, offset, length, QString::fromStdString(text));
}

// A node whose count children are made when first opened.
Node& Lazy(Node& parent, const QString& item, size_t count, std::function<void(Node&)> fill,
    std::optional<uint64_t> offset = {}, uint64_t length = 0)
{
    Node& node = Add(parent, item, std::nullopt, offset, length, QString::number(count));
    node.pending = count;
    node.fill = std::move(fill);
    return node;
}

QString Name(std::string_view name)
{
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString NumberText(uint64_t value, bool hex)
{
    return hex ? QStringLiteral("0x") + QString::number(value, 16).toUpper() : QString::number(value);
}

void Fields(Node& node, const std::vector<ContentsField>& fields)
{
    for (const ContentsField& field : fields)
        Add(node, Name(field.name), field.value, field.offset, field.width);
}

QString Joined(const std::vector<std::string_view>& names)
{
    QStringList list;
    for (const std::string_view name : names)
        list << Name(name);
    return list.join(QStringLiteral(", "));
}

void Imports(Node& parent, const QString& title, const std::vector<ImportDll>* dlls)
{
    if (dlls->empty())
        return;
    Lazy(parent, title, dlls->size(), [dlls](Node& node) {
        for (const ImportDll& dll : *dlls) {
            Node& entry = Lazy(
                node, QString::fromStdString(dll.name), dll.functions.size(),
                [&dll](Node& functions) {
                    Fields(functions, dll.fields);
                    for (const ImportFunction& function : dll.functions) {
                        if (function.ordinal)
                            Add(functions, QStringLiteral("ordinal"), *function.ordinal, function.offset, 4);
                        else
                            Add(functions, QString::fromStdString(function.name), function.hint,
                                function.offset, 4);
                    }
                },
                dll.offset, dll.fields.size() * 4);
            entry.text = QString::number(dll.functions.size()) + QStringLiteral(" functions");
        }
    });
}

// One signature's rows; offset and length are its WIN_CERTIFICATE's (0 for a nested one).
void SignatureRows(Node& parent, const QString& item, const SignatureCheck& check,
    std::optional<uint64_t> offset, uint64_t length)
{
    Node& node = Add(parent, item, std::nullopt, offset, length,
        QString::fromStdString(SignatureStateText(check.state, check.problem)));
    if (!check.signerSubject.empty()) {
        AddText(node, QStringLiteral("signer"), check.signerSubject);
        AddText(node, QStringLiteral("issuer"), check.signerIssuer);
        AddText(node, QStringLiteral("serial"), check.signerSerial);
    }
    if (!check.signingTime.empty())
        AddText(node, QStringLiteral("signing time"),
            check.signingTime + " (" + check.timeSource
                + (check.timeStampMatches ? ")" : ", not over this signer's signature)"));
    AddText(node, QStringLiteral("digest algorithm"), check.digestAlgorithm);
    AddText(node, QStringLiteral("stated digest"), check.statedDigest);
    AddText(node, QStringLiteral("computed digest"), check.computedDigest);
    if (!check.signerSubject.empty()) {
        AddText(node, QStringLiteral("message digest"), check.messageDigestMatches ? "matches" : "differs");
        AddText(node, QStringLiteral("signer's signature"),
            check.signerSignatureVerifies ? "verifies" : "does not verify");
    }
    if (!check.chain.empty() || !check.trust.empty()) {
        Node& chain = AddText(node, QStringLiteral("chain"), check.trust);
        for (size_t i = 0; i < check.chain.size(); ++i)
            AddText(chain, QString::number(i + 1), check.chain[i]);
    }
    for (size_t i = 0; i < check.nested.size(); ++i)
        SignatureRows(node, QStringLiteral("nested signature ") + QString::number(i + 1), check.nested[i],
            std::nullopt, 0);
}

// The file's signatures, verified when the node is first opened.
void Signatures(Node& root, const ContentsModel::FileSource& source)
{
    Node& top = Lazy(root, QStringLiteral("Signature"), 1, [source](Node& node) {
        const ByteReader* file = source();
        if (!file)
            return;
        try {
            const AuthenticodeReport report = VerifyAuthenticode(*file, ReadImageHeaders(*file));
            node.text = QString::fromStdString(SignatureStateText(report));
            size_t entry = 0;
            for (size_t i = 0; i < report.signatures.size(); ++i) {
                // One signature per PKCS#7 WIN_CERTIFICATE, in table order.
                while (
                    entry < report.entries.size() && report.entries[entry].type != kWinCertTypePkcsSignedData)
                    ++entry;
                const bool known = entry < report.entries.size();
                SignatureRows(node, QStringLiteral("signature ") + QString::number(i + 1),
                    report.signatures[i],
                    known ? std::optional<uint64_t>(report.entries[entry].offset) : std::nullopt,
                    known ? report.entries[entry].length : 0);
                ++entry;
            }
        } catch (const std::exception& error) {
            node.text = QString::fromStdString(error.what());
        }
    });
    top.text = QStringLiteral("verified when opened");
    top.refill = top.fill;
}

// How the file is hardened: one row per property, its state and the evidence.
void Hardening(Node& root, const ContentsModel::FileSource& source)
{
    Node& top = Lazy(root, QStringLiteral("Hardening"), HardeningNames().size(), [source](Node& node) {
        const ByteReader* file = source();
        if (!file)
            return;
        try {
            // The file as it is now, like the signature: a save may have changed its flags.
            const ImageHeaders headers = ReadImageHeaders(*file);
            const ImageContents contents = DecodeContents(BlockCachedReader(*file), headers);
            int counts[3] = {};
            for (const HardeningRow& row : HardeningReport(*file, headers, contents)) {
                AddText(
                    node, Name(row.title), std::string(HardeningStateName(row.state)) + "  " + row.evidence);
                ++counts[static_cast<int>(row.state)];
            }
            node.text = QString::number(counts[0]) + QStringLiteral(" yes, ") + QString::number(counts[1])
                + QStringLiteral(" no, ") + QString::number(counts[2]) + QStringLiteral(" n/a");
        } catch (const std::exception& error) {
            node.text = QString::fromStdString(error.what());
        }
    });
    top.text = QStringLiteral("checked when opened");
    top.refill = top.fill;
}

void BuildRoot(Node& root, const ImageContents& contents, const ContentsModel::FileSource& source)
{
    if (!contents.anomalies.empty()) {
        Lazy(root, QStringLiteral("Warnings"), contents.anomalies.size(), [&contents](Node& node) {
            for (const std::string& text : contents.anomalies)
                AddText(node, QString(), text);
        });
    }
    Imports(root, QStringLiteral("Imports"), &contents.imports);
    Imports(root, QStringLiteral("Delay imports"), &contents.delayImports);
    if (contents.exports.present) {
        const ExportTable& table = contents.exports;
        Lazy(
            root, QStringLiteral("Exports"), table.fields.size() + table.functions.size(),
            [&table](Node& node) {
                AddText(node, QStringLiteral("name"), table.name);
                Fields(node, table.fields);
                for (const ExportFunction& function : table.functions) {
                    QString item = QString::number(function.ordinal);
                    if (!function.names.empty())
                        item += QStringLiteral("  ") + QString::fromStdString(function.names.front());
                    Node& entry = Add(node, item, function.rva, function.offset, 4);
                    if (!function.forwarder.empty())
                        entry.text = QString::fromStdString(function.forwarder);
                }
            },
            table.offset, 40);
        root.children.back()->text = QString::fromStdString(table.name);
    }
    if (!contents.resources.empty()) {
        Lazy(root, QStringLiteral("Resources"), contents.resources.size(), [&contents](Node& node) {
            for (const ResourceLeaf& leaf : contents.resources) {
                const std::string_view standard = ResourceTypeName(leaf.type);
                QString type = !leaf.typeName.empty() ? QString::fromStdString(leaf.typeName)
                    : !standard.empty()               ? Name(standard)
                                                      : QString::number(leaf.type);
                const QString name
                    = leaf.name.empty() ? QString::number(leaf.id) : QString::fromStdString(leaf.name);
                Node& entry = Add(node,
                    type + QStringLiteral(" / ") + name + QStringLiteral(" / ")
                        + QString::number(leaf.language),
                    leaf.size, leaf.dataOffset != 0 ? std::optional<uint64_t>(leaf.dataOffset) : std::nullopt,
                    leaf.dataOffset != 0 ? leaf.size : 0);
                entry.text = QString::number(leaf.size);
            }
        });
    }
    if (contents.versionInfo.present) {
        const VersionInfo& info = contents.versionInfo;
        Lazy(
            root, QStringLiteral("Version info"), info.strings.size() + info.fixed.size() + 2,
            [&info](Node& node) {
                AddText(node, QStringLiteral("FileVersion"), info.fileVersion);
                AddText(node, QStringLiteral("ProductVersion"), info.productVersion);
                for (const auto& [key, value] : info.strings)
                    AddText(node, QString::fromStdString(key), value);
                Fields(node, info.fixed);
            },
            info.offset, 52);
    }
    if (contents.manifest)
        AddText(root, QStringLiteral("Manifest"), contents.manifest->substr(0, 4096));
    if (!contents.debug.empty()) {
        Lazy(root, QStringLiteral("Debug"), contents.debug.size(), [&contents](Node& node) {
            for (const DebugEntry& entry : contents.debug) {
                Node& item = Lazy(
                    node, Name(entry.typeName), entry.fields.size() + 4,
                    [&entry](Node& fields) {
                        Fields(fields, entry.fields);
                        if (entry.codeView) {
                            AddText(fields, QStringLiteral("format"), entry.codeView->format);
                            AddText(fields, QStringLiteral("guid"), entry.codeView->guid);
                            Add(fields, QStringLiteral("age"), entry.codeView->age);
                            AddText(fields, QStringLiteral("pdb"), entry.codeView->pdb);
                        }
                        if (!entry.repro.empty())
                            AddText(fields, QStringLiteral("repro"), entry.repro);
                        if (entry.extendedDllCharacteristics)
                            Add(fields, QStringLiteral("ex_dll_characteristics"),
                                *entry.extendedDllCharacteristics, {}, 0, Joined(entry.extendedFlags));
                    },
                    entry.offset, 28);
                if (entry.codeView)
                    item.text = QString::fromStdString(entry.codeView->pdb);
            }
        });
    }
    if (contents.loadConfig.present) {
        const LoadConfig& config = contents.loadConfig;
        Lazy(
            root, QStringLiteral("Load config"), config.fields.size() + 1,
            [&config](Node& node) {
                Fields(node, config.fields);
                if (config.guardFlags)
                    AddText(node, QStringLiteral("guard_flags"), Joined(config.guardFlagNames).toStdString());
            },
            config.offset, config.size);
    }
    if (contents.tls.present) {
        const TlsDirectory& tls = contents.tls;
        Lazy(root, QStringLiteral("TLS"), tls.fields.size() + tls.callbacks.size(), [&tls](Node& node) {
            Fields(node, tls.fields);
            for (const uint64_t callback : tls.callbacks)
                Add(node, QStringLiteral("callback"), callback);
        });
    }
    if (!contents.relocations.blocks.empty()) {
        const Relocations& relocations = contents.relocations;
        Lazy(root, QStringLiteral("Relocations"), relocations.byType.size() + relocations.blocks.size(),
            [&relocations](Node& node) {
                for (const auto& [type, count] : relocations.byType)
                    Add(node, Name(type), count);
                for (const Relocations::Block& block : relocations.blocks)
                    Add(node, QStringLiteral("block"), block.pageRva, block.offset,
                        8 + 2 * uint64_t(block.entries))
                        .text
                        = QString::number(block.entries);
            });
    }
    if (contents.exceptions.present) {
        const ExceptionTable& table = contents.exceptions;
        Node& node = Add(root, QStringLiteral("Exceptions"), table.count, table.offset);
        if (table.first) {
            Add(node, QStringLiteral("first begin"), table.first->begin);
            Add(node, QStringLiteral("first end"), table.first->end);
            Add(node, QStringLiteral("last begin"), table.last->begin);
            Add(node, QStringLiteral("last end"), table.last->end);
        }
    }
    if (contents.clr.present) {
        const ClrHeader& clr = contents.clr;
        Node& node = Add(root, QStringLiteral("CLR"), std::nullopt, clr.offset, 72,
            QString::fromStdString(clr.runtimeVersion + " " + clr.metadataVersion));
        Fields(node, clr.fields);
        AddText(node, QStringLiteral("flags"), Joined(clr.flagNames).toStdString());
    }
    if (contents.rich.present) {
        const RichHeader& rich = contents.rich;
        Node& node = Add(root, QStringLiteral("Rich header"), rich.key, rich.offset);
        node.text = rich.checksumValid ? QStringLiteral("checksum valid") : QStringLiteral("checksum wrong");
        for (const RichHeader::Entry& entry : rich.entries)
            Add(node,
                QStringLiteral("product ") + QString::number(entry.product) + QStringLiteral(" build ")
                    + QString::number(entry.build),
                entry.count);
    }
    if (contents.overlay.present)
        Add(root, QStringLiteral("Overlay"), contents.overlay.size, contents.overlay.offset,
            contents.overlay.size);
    if (!contents.certificates.empty()) {
        Node& node = Add(root, QStringLiteral("Certificates"), contents.certificates.size());
        for (const Certificate& certificate : contents.certificates)
            Add(node, QStringLiteral("WIN_CERTIFICATE type ") + QString::number(certificate.type),
                certificate.length, certificate.offset, certificate.length);
    }
    if (source) {
        Signatures(root, source);
        Hardening(root, source);
    }
}

size_t CountNodes(const Node& node)
{
    size_t count = node.children.size();
    for (const auto& child : node.children)
        count += CountNodes(*child);
    return count;
}

} // namespace

ContentsModel::ContentsModel(QObject* parent)
    : QAbstractItemModel(parent)
    , FRoot(std::make_unique<Node>())
{
}

ContentsModel::~ContentsModel() = default;

void ContentsModel::SetContents(ImageContents contents, FileSource file)
{
    beginResetModel();
    FContents = std::make_unique<ImageContents>(std::move(contents));
    FRoot = std::make_unique<Node>();
    FDifferencesNode = nullptr;
    FDifferences.reset();
    BuildRoot(*FRoot, *FContents, file);
    FNodesMade = CountNodes(*FRoot);
    endResetModel();
}

void ContentsModel::SetDifferences(const QString& summary, std::vector<Difference> differences)
{
    ClearDifferences();
    FDifferences = std::make_unique<std::vector<Difference>>(std::move(differences));
    std::vector<std::pair<std::string, std::vector<const Difference*>>> parts;
    for (const Difference& d : *FDifferences) {
        auto part
            = std::find_if(parts.begin(), parts.end(), [&d](const auto& p) { return p.first == d.part; });
        if (part == parts.end())
            part = parts.insert(parts.end(), {d.part, {}});
        part->second.push_back(&d);
    }
    const int row = static_cast<int>(FRoot->children.size());
    beginInsertRows({}, row, row);
    Node& top = Lazy(*FRoot, QStringLiteral("Differences"), parts.size(), [parts](Node& node) {
        for (const auto& [part, list] : parts) {
            Lazy(node, QString::fromStdString(part), list.size(), [list](Node& rows) {
                for (const Difference* d : list) {
                    const bool bytes = !d->ranges.empty();
                    Node& item = Add(rows, QString::fromStdString(d->name), std::nullopt,
                        bytes ? std::optional<uint64_t>(d->ranges.front().offsetA) : std::nullopt,
                        bytes ? d->ranges.front().length : 0);
                    item.textOf = [d](bool hex) {
                        return QString::fromStdString(DifferenceValueText(
                            *d, [hex](uint64_t value) { return NumberText(value, hex).toStdString(); }));
                    };
                }
            });
        }
    });
    top.text = summary;
    FDifferencesNode = &top;
    ++FNodesMade;
    endInsertRows();
}

void ContentsModel::ClearDifferences()
{
    if (!FDifferencesNode)
        return;
    const int row = FDifferencesNode->row;
    beginRemoveRows({}, row, row);
    FNodesMade -= CountNodes(*FDifferencesNode) + 1;
    FRoot->children.erase(FRoot->children.begin() + row);
    FDifferencesNode = nullptr;
    FDifferences.reset();
    endRemoveRows();
}

void ContentsModel::Clear()
{
    beginResetModel();
    FDifferencesNode = nullptr;
    FDifferences.reset();
    FRoot = std::make_unique<Node>();
    FContents.reset();
    FNodesMade = 0;
    endResetModel();
}

void ContentsModel::RecheckFile()
{
    for (const auto& child : FRoot->children) {
        Node& node = *child;
        if (!node.refill || node.fill) // not opened yet: it reads the file when it is
            continue;
        const QModelIndex at = createIndex(node.row, 0, &node);
        if (!node.children.empty()) {
            beginRemoveRows(at, 0, static_cast<int>(node.children.size()) - 1);
            FNodesMade -= CountNodes(node);
            node.children.clear();
            endRemoveRows();
        }
        Node fresh;
        node.refill(fresh);
        if (!fresh.children.empty()) {
            beginInsertRows(at, 0, static_cast<int>(fresh.children.size()) - 1);
            for (auto& made : fresh.children) {
                made->parent = &node;
                node.children.push_back(std::move(made));
            }
            FNodesMade += CountNodes(node);
            endInsertRows();
        }
        node.text = fresh.text;
        emit dataChanged(at.siblingAtColumn(1), at.siblingAtColumn(1));
    }
}

void ContentsModel::SetHex(bool hex)
{
    if (hex == FHex)
        return;
    FHex = hex;
    // Only the texts change: the tree keeps its shape, its expanded rows and its selection.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

ContentsModel::Node* ContentsModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : FRoot.get();
}

void ContentsModel::Fill(Node& node) const
{
    if (!node.fill)
        return;
    const auto fill = std::move(node.fill);
    node.fill = nullptr;
    node.pending = 0;
    fill(node);
    FNodesMade += node.children.size();
}

std::pair<uint64_t, uint64_t> ContentsModel::ItemBytes(const QModelIndex& index) const
{
    const Node* node = NodeOf(index);
    if (!index.isValid() || !node->offset)
        return {0, 0};
    return {*node->offset, node->length};
}

QModelIndex ContentsModel::index(int row, int column, const QModelIndex& parent) const
{
    Node* node = NodeOf(parent);
    Fill(*node);
    if (row < 0 || column < 0 || column >= 3 || size_t(row) >= node->children.size())
        return {};
    return createIndex(row, column, node->children[size_t(row)].get());
}

QModelIndex ContentsModel::parent(const QModelIndex& child) const
{
    const Node* node = NodeOf(child);
    if (!child.isValid() || node->parent == FRoot.get())
        return {};
    return createIndex(node->parent->row, 0, node->parent);
}

int ContentsModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    Node* node = NodeOf(parent);
    Fill(*node);
    return static_cast<int>(node->children.size());
}

int ContentsModel::columnCount(const QModelIndex&) const
{
    return 3;
}

bool ContentsModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    const Node* node = NodeOf(parent);
    return node->pending != 0 || !node->children.empty();
}

QVariant ContentsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const Node* node = NodeOf(index);
    auto number = [this](uint64_t value) { return NumberText(value, FHex); };
    switch (index.column()) {
    case 0:
        return node->item;
    case 1:
        if (node->textOf)
            return node->textOf(FHex);
        if (node->number && !node->text.isEmpty())
            return number(*node->number) + QStringLiteral("  ") + node->text;
        return node->number ? number(*node->number) : node->text;
    default:
        return node->offset ? number(*node->offset) : QString();
    }
}

QVariant ContentsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Item", "Value", "File offset"};
    return section >= 0 && section < 3 ? QString::fromLatin1(titles[section]) : QVariant();
}
