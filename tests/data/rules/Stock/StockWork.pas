unit StockWork;

interface

procedure Recount;

implementation

uses
  SysUtils, BDE, StockData;

{ Counting leaves RequestLive alone: a comment is no code. }
procedure Recount;
var
  Status: Integer;
begin
  StockDM.ItemsQuery.RequestLive := False;
  StockDM.ItemsQuery.Open;
  StockDM.ItemsSource.Enabled := True;
  Status := DbiSaveChanges(nil);
  if Status <> 0 then
    raise Exception.Create('RequestLive could not be set');
end;

end.
