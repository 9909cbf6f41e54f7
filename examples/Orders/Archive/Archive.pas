unit Archive;

interface

uses
  Windows, Messages, SysUtils, Classes, Graphics, Controls, Forms, Dialogs,
  StdCtrls, Grids, DBGrids, DB, DBTables, ExtCtrls, Wwdatsrc, Wwtable, Wwquery, Main;

type
  { Closed orders. The search and the grid come from the main form; the history
    and its order lines are read through InfoPower's data sets. }
  TArchiveForm = class(TMainForm)
    ArchiveQuery: TwwQuery;
    ArchiveTable: TwwTable;
    ArchiveSource: TwwDataSource;
    procedure FormShow(Sender: TObject);
  end;

var
  ArchiveForm: TArchiveForm;

implementation

{$R *.dfm}

procedure TArchiveForm.FormShow(Sender: TObject);
begin
  ArchiveTable.Open;
  ArchiveQuery.Open;
end;

end.
