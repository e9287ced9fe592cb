#include "report/run_report.h"

#include <iostream>

#include "core/encoding.h"
#include "core/errors.h"
#include "core/text_file.h"

namespace tto {

std::string_view ReasonKey(RecordReason reason) {
  switch (reason) {
    case RecordReason::kEmptyCode: return "codigo-vacio";
    case RecordReason::kCodeNotPlaceable: return "codigo-no-ubicable";
    case RecordReason::kCodeRepeated: return "codigo-repetido";
    case RecordReason::kSubjectNotFound: return "asignatura-no-encontrada";
    case RecordReason::kGroupNotFound: return "grupo-no-encontrado";
    case RecordReason::kNoWeeklyHours: return "sin-horas-semanales";
    case RecordReason::kSlotNotFound: return "tramo-no-encontrado";
    case RecordReason::kActivityNotFound: return "actividad-no-encontrada";
    case RecordReason::kRoomNotFound: return "aula-no-encontrada";
    case RecordReason::kNoDay: return "sin-dia";
  }
  return "";
}

std::string_view ReasonText(RecordReason reason, bool import_run) {
  switch (reason) {
    case RecordReason::kEmptyCode: return "código vacío; registro omitido";
    case RecordReason::kCodeNotPlaceable:
      return "código repetido sin número libre; registro omitido";
    case RecordReason::kCodeRepeated: return "código repetido; registro omitido";
    case RecordReason::kSubjectNotFound:
      return import_run ? "asignatura no encontrada; se escribe el código de SOLUC"
                        : "asignatura no encontrada; asignación descartada";
    case RecordReason::kGroupNotFound:
      return import_run ? "grupo no encontrado; se escribe el código de SOLUC"
                        : "grupo no encontrado; turno, nivel, curso y grupo en blanco";
    case RecordReason::kNoWeeklyHours: return "sin horas semanales; se pone 1 hora";
    case RecordReason::kSlotNotFound: return "tramo no encontrado; código de tramo en blanco";
    case RecordReason::kActivityNotFound: return "actividad no encontrada; se escribe LEC";
    case RecordReason::kRoomNotFound: return "aula no encontrada; se escribe el código de SOLUC";
    case RecordReason::kNoDay: return "lección sin día; no se escribe";
  }
  return "";
}

std::string CsvField(std::string_view text) {
  const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                      (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quoted) return std::string(text);
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  field += '"';
  return field;
}

void RunReport::Note(const RecordNote& note) {
  rows_.push_back({Cp1252ToUtf8(note.source), Cp1252ToUtf8(note.code), Cp1252ToUtf8(note.table),
                   note.line, note.reason});
  ++(note.left_out ? pending_.left_out : pending_.fallback)[note.reason];
}

void RunReport::Converted(std::string_view table, std::int64_t records_read,
                          std::int64_t rows_written) {
  pending_.table = Cp1252ToUtf8(table);
  pending_.read = records_read;
  pending_.written = rows_written;
  conversions_.push_back(std::move(pending_));
  pending_ = {};
}

std::vector<std::string> RunReport::CsvLines() const {
  std::vector<std::string> lines = {"ejecucion,archivo,linea,codigo,clave,motivo,tabla"};
  const bool import_run = run_ == "importar";
  for (const Row& row : rows_) {
    lines.push_back(CsvField(run_) + ',' + CsvField(row.source) + ',' + std::to_string(row.line) +
                    ',' + CsvField(row.code) + ',' + std::string(ReasonKey(row.reason)) + ',' +
                    CsvField(ReasonText(row.reason, import_run)) + ',' + CsvField(row.table));
  }
  return lines;
}

void RunReport::Save(const std::filesystem::path& path) const {
  TextFileWriter file(path.string());
  for (const std::string& line : CsvLines()) file.WriteLine(line);
  file.Commit();
}

std::vector<std::string> RunReport::Summary() const {
  std::vector<std::string> lines;
  const auto by_reason = [](const std::map<RecordReason, std::int64_t>& counts) {
    std::int64_t total = 0;
    std::string parts;
    for (const auto& [reason, count] : counts) {
      total += count;
      if (!parts.empty()) parts += ", ";
      parts += std::string(ReasonKey(reason)) + " " + std::to_string(count);
    }
    return std::to_string(total) + (parts.empty() ? "" : " (" + parts + ")");
  };
  for (const Counts& counts : conversions_) {
    std::string line = counts.table + ": leídos " + std::to_string(counts.read) + ", escritos " +
                       std::to_string(counts.written) + ", omitidos " + by_reason(counts.left_out);
    if (!counts.fallback.empty()) line += ", con valor sustituido " + by_reason(counts.fallback);
    lines.push_back(std::move(line));
  }
  return lines;
}

bool WriteReport(const RunReport& report, const std::filesystem::path& path) {
  for (const std::string& line : report.Summary()) std::cout << line << '\n';
  std::cout << std::flush;
  try {
    report.Save(path);
    return true;
  } catch (const Error& error) {
    std::cerr << error.what() << '\n' << std::flush;
    return false;
  }
}

}  // namespace tto
