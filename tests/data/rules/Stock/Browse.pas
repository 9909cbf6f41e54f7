unit Browse;

interface

uses
  SysUtils, Classes, Controls, Forms, DB, Grids, DBGrids, RxQuery;

type
  TBrowseForm = class(TForm)
    BrowseGrid: TDBGrid;
    BrowseSource: TDataSource;
    BrowseQuery: TRxQuery;
  end;

var
  BrowseForm: TBrowseForm;

implementation

{$R *.dfm}

end.
