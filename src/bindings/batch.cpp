// vorel._batch: value() and implied_vol() over arrays. Every array argument is
// read through the buffer protocol, broadcast against the others and copied
// into contiguous native arrays while the interpreter lock is held; the work
// then runs without the lock on threads of its own, writing into NumPy arrays
// made for the result. Nothing Python is touched while the lock is released.

#include "bindings/batch.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "bindings/arguments.hpp"
#include "bindings/classes.hpp"
#include "bindings/convert.hpp"
#include "bindings/datetime.hpp"
#include "bindings/execution/builder.hpp"
#include "bindings/frame.hpp"
#include "bindings/methods.hpp"
#include "bindings/unlocked.hpp"
#include "core/interrupt.hpp"
#include "execution/batch.hpp"
#include "execution/parallel.hpp"

namespace vorel::py {
namespace {

// A buffer held for the duration of a call.
class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() {
        if (held_) PyBuffer_Release(&view_);
    }

    bool acquire(PyObject* object, int flags) {
        if (PyObject_GetBuffer(object, &view_, flags) < 0) return false;
        held_ = true;
        return true;
    }
    // A 0-d view of one native value (nothing to release).
    void hold_scalar(void* value, Py_ssize_t size, const char* format) {
        view_ = Py_buffer{};
        view_.buf = value;
        view_.itemsize = size;
        view_.len = size;
        view_.readonly = 1;
        view_.format = const_cast<char*>(format);
    }
    const Py_buffer& view() const noexcept { return view_; }
    void* data() const noexcept { return view_.buf; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

// The kinds of element an input array may hold.
enum class Element { Float, Integer };

// A buffer's element format: 'd' or an integer code, native byte order.
struct Format {
    char code = 0;
};

std::optional<Format> element_format(const Py_buffer& view) {
    const char* format = view.format == nullptr ? "B" : view.format;
    if (*format == '@' || *format == '=' || *format == '<') ++format;
    if (format[0] == 0 || format[1] != 0) return std::nullopt;
    switch (format[0]) {
        case 'd': return view.itemsize == 8 ? std::optional<Format>(Format{'d'}) : std::nullopt;
        case 'b': case 'h': case 'i': case 'l': case 'q':
        case 'B': case 'H': case 'I': case 'L': case 'Q': case '?': return Format{format[0]};
        default: return std::nullopt;
    }
}

// One input array: its buffer and how to read it.
struct Field {
    const char* name;
    Element element;
    Buffer buffer;
    Format format;
    union {
        double number;
        long long integer;
    } scalar{};
};

// A Python float (for a float field) or int (for an integer field, clamped to
// the int64 range) is read as a 0-d array without going through a buffer.
bool open_scalar(Field& field, PyObject* object) {
    if (field.element == Element::Float && PyFloat_Check(object)) {
        field.scalar.number = PyFloat_AsDouble(object);
        field.buffer.hold_scalar(&field.scalar.number, sizeof(double), "d");
    } else if (field.element == Element::Integer && PyLong_Check(object)) {
        int overflow = 0;
        const long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (value == -1 && PyErr_Occurred()) return false;
        field.scalar.integer = overflow > 0 ? INT64_MAX : overflow < 0 ? INT64_MIN + 1 : value;
        field.buffer.hold_scalar(&field.scalar.integer, sizeof(long long), "q");
    } else {
        return false;
    }
    field.format = Format{field.element == Element::Float ? 'd' : 'q'};
    return true;
}

bool open_field(Field& field, PyObject* object) {
    if (open_scalar(field, object)) return true;
    if (PyErr_Occurred()) return false;
    if (!field.buffer.acquire(object, PyBUF_RECORDS_RO)) {
        PyErr_Clear();
        raise_cast_error(object, "NumPy array");
        wrap_argument_error(field.name);
        return false;
    }
    const std::optional<Format> format = element_format(field.buffer.view());
    const bool fits = format && (field.element == Element::Float ? format->code == 'd' : format->code != 'd');
    if (!fits) {
        PyErr_Format(PyExc_TypeError, "%s must hold %s, not elements of format '%s'", field.name,
                     field.element == Element::Float ? "float64 numbers" : "integers",
                     field.buffer.view().format == nullptr ? "B" : field.buffer.view().format);
        return false;
    }
    field.format = *format;
    return true;
}

std::string shape_text(const Py_buffer& view) {
    std::string text = "(";
    for (int d = 0; d < view.ndim; ++d) {
        if (d > 0) text += ", ";
        text += std::to_string(view.shape[d]);
    }
    if (view.ndim == 1) text += ",";
    return text + ")";
}

// The shape all fields broadcast to, NumPy's rules; nullopt with ValueError if they do not.
std::optional<std::vector<Py_ssize_t>> broadcast_shape(std::vector<Field*> fields) {
    int ndim = 0;
    for (const Field* field : fields) ndim = std::max(ndim, field->buffer.view().ndim);
    std::vector<Py_ssize_t> shape(static_cast<std::size_t>(ndim), 1);
    for (const Field* field : fields) {
        const Py_buffer& view = field->buffer.view();
        for (int d = 0; d < view.ndim; ++d) {
            Py_ssize_t& target = shape[static_cast<std::size_t>(ndim - view.ndim + d)];
            const Py_ssize_t extent = view.shape[d];
            if (extent == target || extent == 1) continue;
            if (target == 1) {
                target = extent;
                continue;
            }
            std::string message = "the option fields cannot be broadcast to one shape:";
            for (const Field* each : fields) {
                message += std::string(" ") + each->name + " " + shape_text(each->buffer.view());
            }
            PyErr_SetString(PyExc_ValueError, message.c_str());
            return std::nullopt;
        }
    }
    return shape;
}

template <class T>
T load(const char* at) noexcept {
    T value;
    std::memcpy(&value, at, sizeof(T));
    return value;
}

// Copies a field, broadcast to `shape`, into `out` in C order; `convert` maps
// each element read. The innermost dimension is a plain strided loop.
template <class T, class Convert>
void gather(const Field& field, const std::vector<Py_ssize_t>& shape, std::size_t count, T* out, Convert convert) {
    const Py_buffer& view = field.buffer.view();
    const int ndim = static_cast<int>(shape.size());
    // Strides over the broadcast shape: 0 along dimensions the field lacks or has once.
    std::vector<Py_ssize_t> strides(shape.size(), 0);
    for (int d = 0; d < view.ndim; ++d) {
        const Py_ssize_t stride = view.strides != nullptr ? view.strides[d] : 0;
        if (view.shape[d] != 1) strides[static_cast<std::size_t>(ndim - view.ndim + d)] = stride;
    }
    if (view.strides == nullptr && view.ndim > 0) {  // C-contiguous without strides given
        Py_ssize_t stride = view.itemsize;
        for (int d = view.ndim - 1; d >= 0; --d) {
            if (view.shape[d] != 1) strides[static_cast<std::size_t>(ndim - view.ndim + d)] = stride;
            stride *= view.shape[d];
        }
    }
    const char* base = static_cast<const char*>(view.buf);
    if (ndim == 0 || count == 0) {
        if (count == 1) out[0] = convert(base);
        return;
    }
    const auto inner = static_cast<std::size_t>(shape.back());
    const Py_ssize_t step = strides.back();
    std::vector<Py_ssize_t> index(shape.size(), 0);
    Py_ssize_t offset = 0;
    for (std::size_t i = 0; i < count; i += inner) {
        const char* row = base + offset;
        for (std::size_t j = 0; j < inner; ++j) out[i + j] = convert(row + static_cast<Py_ssize_t>(j) * step);
        for (int d = ndim - 2; d >= 0; --d) {
            const auto k = static_cast<std::size_t>(d);
            if (++index[k] < shape[k]) {
                offset += strides[k];
                break;
            }
            offset -= strides[k] * (index[k] - 1);
            index[k] = 0;
        }
    }
}

double read_float(const char* at) noexcept { return load<double>(at); }

// Gathers an integer field through `map` (int64 -> T), the element type chosen
// once; unsigned values beyond the int64 range are clamped to its top.
template <class T, class Map>
void gather_integers(const Field& field, const std::vector<Py_ssize_t>& shape, std::size_t count, T* out, Map map) {
    const auto as = [&]<class E>(E) {
        gather(field, shape, count, out, [&](const char* at) {
            const E value = load<E>(at);
            if constexpr (std::is_unsigned_v<E> && sizeof(E) == 8) {
                return map(value > static_cast<E>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(value));
            } else {
                return map(static_cast<std::int64_t>(value));
            }
        });
    };
    switch (field.format.code) {
        case 'b': return as(static_cast<signed char>(0));
        case 'h': return as(short{});
        case 'i': return as(int{});
        case 'l': return as(long{});
        case 'q': return as(static_cast<long long>(0));
        case 'B': case '?': return as(static_cast<unsigned char>(0));
        case 'H': return as(static_cast<unsigned short>(0));
        case 'I': return as(unsigned{});
        case 'L': return as(static_cast<unsigned long>(0));
        default: return as(static_cast<unsigned long long>(0));  // 'Q'
    }
}

// An enumeration field's element as the core reads it: 0 and 1 as they are,
// anything else as a value no enumeration has.
std::uint8_t enumeration_value(std::int64_t value) noexcept {
    return value == 0 || value == 1 ? static_cast<std::uint8_t>(value) : std::uint8_t{0xFF};
}

// numpy.empty, imported on first use.
PyObject* numpy_empty() {
    static PyObject* empty = nullptr;
    if (empty != nullptr) return empty;
    PyRef numpy = PyRef::steal(PyImport_ImportModule("numpy"));
    if (!numpy) return nullptr;
    empty = PyObject_GetAttrString(numpy.get(), "empty");  // kept for the life of the process
    return empty;
}

PyRef shape_tuple(const std::vector<Py_ssize_t>& shape) {
    return tuple_from(shape, [](Py_ssize_t extent) { return PyRef::steal(PyLong_FromSsize_t(extent)); });
}

// Where `columns` float results and a status go: new NumPy arrays of the
// broadcast shape, or, for a 0-d shape, native values returned as a Python
// float and int (no NumPy array for a single option).
class Results {
public:
    static constexpr int kMaxColumns = 6;

    bool make(const std::vector<Py_ssize_t>& shape, int columns) {
        columns_ = columns;
        if (shape.empty()) return true;
        PyRef tuple = shape_tuple(shape);
        if (!tuple) return false;
        for (int k = 0; k < columns; ++k) {
            if (!make_array(arrays_[k], tuple.get(), "float64")) return false;
        }
        return make_array(arrays_[kMaxColumns], tuple.get(), "uint8");
    }
    double* column(int k) noexcept {
        if (k >= columns_) return nullptr;
        return arrays_[k].array ? static_cast<double*>(arrays_[k].buffer.data()) : &numbers_[k];
    }
    std::uint8_t* status() noexcept {
        return arrays_[kMaxColumns].array ? static_cast<std::uint8_t*>(arrays_[kMaxColumns].buffer.data()) : &status_;
    }
    // A tuple of `width` columns (None past those made) and the status.
    PyRef tuple(int width) {
        PyRef result = PyRef::steal(PyTuple_New(width + 1));
        if (!result) return {};
        for (int k = 0; k <= width; ++k) {
            const int slot = k == width ? kMaxColumns : k;
            PyObject* item = nullptr;
            if (arrays_[slot].array) {
                item = Py_NewRef(arrays_[slot].array.get());
            } else if (k == width) {
                item = PyLong_FromLong(status_);
            } else if (k < columns_) {
                item = PyFloat_FromDouble(numbers_[k]);
            } else {
                item = Py_NewRef(Py_None);
            }
            if (item == nullptr) return {};
            PyTuple_SetItem(result.get(), k, item);
        }
        return result;
    }

private:
    struct Array {
        PyRef array;
        Buffer buffer;
    };
    static bool make_array(Array& out, PyObject* shape, const char* dtype) {
        PyObject* empty = numpy_empty();
        if (empty == nullptr) return false;
        PyRef type = PyRef::steal(PyUnicode_FromString(dtype));
        if (!type) return false;
        out.array = PyRef::steal(PyObject_CallFunctionObjArgs(empty, shape, type.get(), nullptr));
        return out.array && out.buffer.acquire(out.array.get(), PyBUF_C_CONTIGUOUS | PyBUF_WRITABLE);
    }

    int columns_ = 0;
    Array arrays_[kMaxColumns + 1];
    double numbers_[kMaxColumns] = {};
    std::uint8_t status_ = 0;
};

// What value() and implied_vol() share: the option fields, the market, the
// instant, the configuration and the thread count. The fields take their
// names from the function's signature when they are read.
struct Call {
    Field strike{nullptr, Element::Float, {}, {}};
    Field expiry{nullptr, Element::Integer, {}, {}};
    Field option_type{nullptr, Element::Integer, {}, {}};
    Field exercise_style{nullptr, Element::Integer, {}, {}};
    Field price{nullptr, Element::Float, {}, {}};
    bool with_price = false;
    std::vector<Py_ssize_t> shape;
    std::size_t count = 1;
    // Copies of the fields, left uninitialised until gathered into.
    std::unique_ptr<double[]> strikes, prices;
    std::unique_ptr<std::int64_t[]> expiries;
    std::unique_ptr<std::uint8_t[]> types, styles;
    std::shared_ptr<const MarketFrameData> market;
    std::shared_ptr<const Config> config;
    Instant at;
    unsigned threads = 1;

    const Config& table() const { return config ? *config : default_config(); }
    BatchOptions options() const {
        return {count, strikes.get(), expiries.get(), types.get(), styles.get()};
    }
};

// One bound argument and its parameter's name.
struct Argument {
    const char* name;
    PyObject* object;
};

template <std::size_t N>
Argument argument(const Signature<N>& signature, const Bound<N>& bound, std::size_t index) {
    return {signature.names[index], bound[index]};
}

// Reads the arguments after the arrays: market, at, config, threads.
bool read_settings(Call& call, Argument market, Argument at, Argument config, Argument threads) {
    if (!check_type<MarketFrame>(market.object)) {
        wrap_argument_error(market.name);
        return false;
    }
    {
        VOREL_LET(frame, (borrow<MarketFrame, Access::Shared>(market.object)));
        call.market = frame->snapshot();
    }
    if (config.object != Py_None) {
        if (!check_type<SharedConfig>(config.object)) {
            wrap_argument_error(config.name);
            return false;
        }
        VOREL_LET(shared, (borrow<SharedConfig, Access::Shared>(config.object)));
        call.config = shared->table;
    }
    if (at.object == Py_None) {
        call.at = now_utc();
    } else {
        const std::optional<Instant> instant = instant_via_timestamp(at.object, at.name, sites::kEvaluationTime);
        if (!instant) return false;
        call.at = *instant;
    }
    call.threads = available_processors();
    if (threads.object != Py_None) {
        if (!PyLong_Check(threads.object)) {
            raise_cast_error(threads.object, "int");
            wrap_argument_error(threads.name);
            return false;
        }
        int overflow = 0;
        const long long count = PyLong_AsLongLongAndOverflow(threads.object, &overflow);
        if (count == -1 && PyErr_Occurred()) return false;
        if (overflow != 0 || count < 1 || count > 1024) {
            PyErr_SetString(PyExc_ValueError, "threads must be between 1 and 1024, or None for every processor");
            return false;
        }
        call.threads = static_cast<unsigned>(count);
    }
    return true;
}

// Opens the arrays (the first arguments, named by `names`), broadcasts them
// and copies them out.
bool read_fields(Call& call, const char* const* names, PyObject* const* arrays) {
    std::vector<Field*> fields = {&call.strike, &call.expiry, &call.option_type, &call.exercise_style};
    if (call.with_price) fields.insert(fields.begin(), &call.price);
    for (std::size_t k = 0; k < fields.size(); ++k) {
        fields[k]->name = names[k];
        if (!open_field(*fields[k], arrays[k])) return false;
    }
    VOREL_LET(shape, broadcast_shape(fields));
    call.shape = std::move(shape);
    std::size_t count = 1;
    for (const Py_ssize_t extent : call.shape) {
        if (__builtin_mul_overflow(count, static_cast<std::size_t>(extent), &count) || count > (SIZE_MAX >> 6)) {
            PyErr_SetString(PyExc_MemoryError, "the broadcast option fields have too many elements");
            return false;
        }
    }
    call.count = count;
    call.strikes.reset(new double[count]);
    call.expiries.reset(new std::int64_t[count]);
    call.types.reset(new std::uint8_t[count]);
    call.styles.reset(new std::uint8_t[count]);
    gather(call.strike, call.shape, count, call.strikes.get(), read_float);
    gather_integers(call.expiry, call.shape, count, call.expiries.get(), [](std::int64_t value) { return value; });
    gather_integers(call.option_type, call.shape, count, call.types.get(), enumeration_value);
    gather_integers(call.exercise_style, call.shape, count, call.styles.get(), enumeration_value);
    if (call.with_price) {
        call.prices.reset(new double[count]);
        gather(call.price, call.shape, count, call.prices.get(), read_float);
    }
    return true;
}

// Below this much estimated work a batch runs on the calling thread, lock held.
constexpr double kInlineNs = 200e3;
// Work per chunk a thread takes at once: long enough that the expiry table warms up in a small part of it.
constexpr double kChunkNs = 200e3;

// Runs `work` over the batch: small batches on this thread under the
// interpreter's signal poll, larger ones on as many threads as they are worth
// (at most call.threads) without the interpreter lock.
// Each chunk holds at least `least` elements.
bool run(const Call& call, double element_ns, std::size_t least, const ChunkWork& work) {
    const double total = element_ns * static_cast<double>(call.count);
    const std::size_t chunk = std::max<std::size_t>(
        least, std::min<std::size_t>(static_cast<std::size_t>(kChunkNs / element_ns),
                                     call.count / (4 * static_cast<std::size_t>(call.threads)) + 1));
    Result<Unit> outcome = Unit{};
    if (total < kInlineNs || call.count < 2) {
        const InterruptScope interruptible(signal_raised);
        outcome = run_inline(call.count, chunk, work);
    } else {
        const double worth = std::ceil(total / (kInlineNs / 2));
        const unsigned threads = static_cast<unsigned>(std::min<double>({worth, static_cast<double>(call.threads),
                                                                          static_cast<double>(call.count)}));
        const Unlocked unlocked;
        outcome = run_parallel(call.count, chunk, threads, work, Unlocked::poll_signals);
    }
    if (!outcome) {
        raise_error(outcome.error());
        return false;
    }
    return true;
}

// value(strike, expiry, option_type, exercise_style, market, at, config, greeks, threads)
// -> (price, delta, gamma, theta, vega, rho, status); the Greeks None unless asked for.
PyObject* value(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<9> signature{
            "value",
            {"strike", "expiry", "option_type", "exercise_style", "market", "at", "config", "greeks", "threads"}};
        VOREL_LET(bound, bind(signature, args, nargs, nullptr));
        Call call;
        VOREL_CHECK(read_fields(call, signature.names.data(), bound.data()));
        VOREL_CHECK(read_settings(call, argument(signature, bound, 4), argument(signature, bound, 5),
                                  argument(signature, bound, 6), argument(signature, bound, 8)));
        const int greeks = PyObject_IsTrue(bound[7]);
        if (greeks < 0) return {};
        const BatchOptions options = call.options();
        VOREL_LET(batch, unwrap(Batch::prepare(*call.market, call.table(), call.at, options)));
        Results results;
        VOREL_CHECK(results.make(call.shape, greeks ? 6 : 1));
        const ValueOutputs out{results.column(0), results.column(1), results.column(2), results.column(3),
                               results.column(4), results.column(5), results.status()};
        const ChunkWork work = [&](std::size_t begin, std::size_t end) { return batch.value(begin, end, out); };
        VOREL_CHECK(run(call, batch.element_cost_ns(), batch.least_chunk(), work));
        return results.tuple(6);
    });
}

// implied_vol(price, strike, expiry, option_type, exercise_style, market, at, config, threads)
// -> (vol, status).
PyObject* implied_vol(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return run_frame([&]() -> PyRef {
        static constinit const Signature<9> signature{
            "implied_vol",
            {"price", "strike", "expiry", "option_type", "exercise_style", "market", "at", "config", "threads"}};
        VOREL_LET(bound, bind(signature, args, nargs, nullptr));
        Call call;
        call.with_price = true;
        VOREL_CHECK(read_fields(call, signature.names.data(), bound.data()));
        VOREL_CHECK(read_settings(call, argument(signature, bound, 5), argument(signature, bound, 6),
                                  argument(signature, bound, 7), argument(signature, bound, 8)));
        const BatchOptions options = call.options();
        VOREL_LET(batch, unwrap(Batch::prepare(*call.market, call.table(), call.at, options)));
        Results results;
        VOREL_CHECK(results.make(call.shape, 1));
        const VolOutputs out{results.column(0), results.status()};
        const ChunkWork work = [&](std::size_t begin, std::size_t end) {
            return batch.implied_vol(call.prices.get(), begin, end, out);
        };
        // A search prices about eight times; the closed form's inversion costs about two valuations.
        const double search = batch.element_cost_ns() > 150.0 ? 8.0 : 2.0;
        VOREL_CHECK(run(call, search * batch.element_cost_ns(), batch.least_chunk(), work));
        return results.tuple(1);
    });
}

using FastFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t);
PyMethodDef fast(const char* name, FastFunction function) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)), METH_FASTCALL, nullptr};
}

PyMethodDef g_functions[] = {
    fast("value", value),
    fast("implied_vol", implied_vol),
    kEndOfMethods,
};

PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT, "vorel._batch", "The native kernels of vorel.batch.", 0, g_functions,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyRef create_batch_module() {
    PyRef module = PyRef::steal(PyModule_Create(&g_definition));
    if (!module) return {};
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    if (modules == nullptr || PyDict_SetItemString(modules, "vorel._batch", module.get()) < 0) return {};
    return module;
}

}  // namespace vorel::py
