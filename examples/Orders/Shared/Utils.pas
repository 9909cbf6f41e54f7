unit Utils;

interface

uses DBTables, DB;

{ Helpers shared by the forms. Größe, Straße: the comments of this unit are Windows-1252. }
procedure CloseDataSet(DataSet: TTable);
function IsBdeError(E: Exception): Boolean;

implementation

uses SysUtils;

procedure CloseDataSet(DataSet: TTable);
begin
  if DataSet.Active then DataSet.Close;
end;

function IsBdeError(E: Exception): Boolean;
begin
  Result := E is EDBEngineError;
end;

end.
